// How deep trees are handled.
//
// Trees built by `|` and the combinators can be nested far deeper than the native
// stack allows a naive recursion to go. The policy, in one place:
//   - destruction of nodes and shapes is iterative and never recurses;
//   - every recursive operation of the core calls `with_native_stack` on each level:
//     when the thread's stack runs low, the rest of the recursion continues on a
//     fresh thread with a large stack, so core operations never fail for depth;
//   - operations of the Python layer (which must stay on the thread attached to the
//     interpreter) check `native_stack_is_low()` and raise RecursionError instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace kestrune {

// Bytes left between the current frame and the lowest usable address of this
// thread's stack.
std::size_t remaining_native_stack();

// Below this, a recursion must not go one level deeper on the current stack.
inline constexpr std::size_t kNativeStackReserve = std::size_t{256} * 1024;

inline bool native_stack_is_low() { return remaining_native_stack() < kNativeStackReserve; }

// The address below which this thread's stack counts as low. A recursion that stays
// on one thread can take it once and test each frame against it with
// `is_native_stack_below`, without asking for the thread's bounds every level.
std::uintptr_t native_stack_floor();

inline bool is_native_stack_below(std::uintptr_t floor) {
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < floor;
}

namespace detail {
// Runs `body(context)` on a new thread with a large stack and waits for it.
void run_on_fresh_stack(void (*body)(void*), void* context);
}  // namespace detail

// Calls `fn()` here, or on a fresh stack when this one runs low. Exceptions
// (allocation failures) are carried back to the caller.
template <class Fn>
decltype(auto) with_native_stack(Fn&& fn) {
    if (!native_stack_is_low()) return std::forward<Fn>(fn)();
    using Result = std::invoke_result_t<Fn&>;
    struct Context {
        Fn* fn;
        std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> result{};
        std::exception_ptr error;
    } context{&fn, {}, {}};
    detail::run_on_fresh_stack(
        [](void* raw) {
            auto* ctx = static_cast<Context*>(raw);
            try {
                if constexpr (std::is_void_v<Result>) {
                    (*ctx->fn)();
                } else {
                    ctx->result.emplace((*ctx->fn)());
                }
            } catch (...) {
                ctx->error = std::current_exception();
            }
        },
        &context);
    if (context.error) std::rethrow_exception(context.error);
    if constexpr (!std::is_void_v<Result>) return Result(std::move(*context.result));
}

}  // namespace kestrune
