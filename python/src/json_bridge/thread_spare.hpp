// One object that a thread keeps from one call to the next (the storage of its
// last document), freed when the thread ends.
//
// A thread_local object with a destructor would be simpler, but its destructor is
// registered at the thread's first use, which allocates, and the C library ends
// the process when that allocation fails. So the thread's slot is a plain pointer
// (in the thread's static block, see python/CMakeLists.txt), and the end of the
// thread is met through a key of the threads library, registered once per thread
// when it first keeps an object; a thread that cannot register keeps nothing.
#pragma once

#include <pthread.h>

#include <memory>
#include <utility>

namespace kestrune::py {

// T's destructor must not call into the interpreter: it may run after the thread
// has left it.
template <class T>
class ThreadSpare {
public:
    // The thread's kept object, now the caller's; null when there is none (none was
    // kept yet, or another call on this thread holds it).
    static std::unique_ptr<T> take() noexcept { return std::unique_ptr<T>(std::exchange(slot_, nullptr)); }

    // Keeps `object` for the thread's next call; when the thread keeps one already,
    // `object` is freed instead.
    static void keep(std::unique_ptr<T> object) noexcept {
        if (slot_ != nullptr || !(registered_ || register_thread())) return;
        slot_ = object.release();
    }

private:
    struct ThreadEnd {
        pthread_key_t key{};
        bool created = pthread_key_create(&key, &free_slot) == 0;
    };

    // The key's value is the address of the thread's slot, which is still valid
    // while the threads library calls the key's destructor.
    static void free_slot(void* slot) noexcept { delete std::exchange(*static_cast<T**>(slot), nullptr); }

    static bool register_thread() noexcept {
        static const ThreadEnd end;
        registered_ = end.created && pthread_setspecific(end.key, &slot_) == 0;
        return registered_;
    }

    static inline thread_local T* slot_ = nullptr;
    static inline thread_local bool registered_ = false;
};

}  // namespace kestrune::py
