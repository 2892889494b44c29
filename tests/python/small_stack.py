import threading


def run_on_small_stack(body, stack_size):
    """body() on a new thread whose stack is `stack_size` bytes; its result or its exception."""
    outcome = {}

    def target():
        try:
            outcome["result"] = body()
        except BaseException as error:  # noqa: BLE001 - handed to the calling thread
            outcome["error"] = error

    previous = threading.stack_size(stack_size)
    try:
        thread = threading.Thread(target=target)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    if "error" in outcome:
        raise outcome["error"]
    return outcome["result"]
