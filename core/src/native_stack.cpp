#include "kestrune/core/native_stack.hpp"

#include <pthread.h>

#include <cstdint>
#include <new>

namespace kestrune {

namespace {

// Address space only: pages of a thread stack are committed as they are touched,
// so a deep recursion pays for what it uses. When even this runs low, the recursion
// hops again.
constexpr std::size_t kFreshStackSize = std::size_t{256} * 1024 * 1024;

// Used only when the thread's bounds cannot be read: the smallest stack a thread
// is commonly given, counted from the first frame that asks.
constexpr std::size_t kAssumedStackSize = std::size_t{1024} * 1024;

// Lowest usable address of this thread's stack; 0 until first asked.
thread_local std::uintptr_t t_stack_low = 0;

std::uintptr_t find_stack_low(std::uintptr_t here) {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* address = nullptr;
        std::size_t size = 0;
        const int rc = pthread_attr_getstack(&attr, &address, &size);
        pthread_attr_destroy(&attr);
        if (rc == 0 && address != nullptr) return reinterpret_cast<std::uintptr_t>(address);
    }
    return here > kAssumedStackSize ? here - kAssumedStackSize : 1;
}

struct FreshStackTask {
    void (*body)(void*);
    void* context;
};

void* run_task(void* raw) {
    const auto* task = static_cast<const FreshStackTask*>(raw);
    task->body(task->context);
    return nullptr;
}


std::uintptr_t stack_low(std::uintptr_t here) {
    if (t_stack_low == 0) [[unlikely]] t_stack_low = find_stack_low(here);
    return t_stack_low;
}

}  // namespace

std::size_t remaining_native_stack() {
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const std::uintptr_t low = stack_low(here);
    return here > low ? here - low : 0;
}

std::uintptr_t native_stack_floor() {
    return stack_low(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0))) + kNativeStackReserve;
}

namespace detail {

void run_on_fresh_stack(void (*body)(void*), void* context) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) throw std::bad_alloc();
    int rc = pthread_attr_setstacksize(&attr, kFreshStackSize);
    FreshStackTask task{body, context};
    pthread_t thread;
    if (rc == 0) rc = pthread_create(&thread, &attr, run_task, &task);
    pthread_attr_destroy(&attr);
    if (rc != 0) throw std::bad_alloc();
    pthread_join(thread, nullptr);
}

}  // namespace detail

}  // namespace kestrune
