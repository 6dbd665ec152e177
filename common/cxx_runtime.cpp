// The C++ runtime's failure paths as the programs have them. They are built without
// exceptions, so none of the runtime's exception support can ever run; these replacements
// keep it out of the linked programs (the throwing operator new, the unwinder and the
// personality routine behind it, the terminate handler and its demangler). Each path means
// an internal error, never a user's input: it prints one line on standard error and ends
// the process with internal_error_status.
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

/// The exit status of an internal error (EX_SOFTWARE).
constexpr int internal_error_status = 70;
constexpr const char* internal_error_head = "internal error: ";

[[noreturn]] void internal_error(const char* reason) {
    std::fflush(stdout);
    std::fputs(internal_error_head, stderr);
    std::fputs(reason, stderr);
    std::fputc('\n', stderr);
    _exit(internal_error_status);
}

void* allocate(std::size_t size) {
    void* p = std::malloc(size != 0 ? size : 1);
    if (!p) internal_error("out of memory");
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

extern "C" void __cxa_pure_virtual() { internal_error("pure virtual function called"); }
extern "C" void __cxa_deleted_virtual() { internal_error("deleted virtual function called"); }

// The runtime's own string members are built with exceptions: their throws and clean-ups
// name these entry points of the exception support, which are given here, so that the
// library's (and its unwinder, personality routine and terminate handler with the
// demangler) stay out. None can be reached: nothing throws before it stops here.
// They are weak: an unoptimised build, whose calls into the C++ library bring the
// runtime's exception support in for other names, takes the runtime's own definitions
// instead of failing to link; an optimised build brings nothing in, so these are used.
#define RUNTIME_STAND_IN __attribute__((weak))
extern "C" {
RUNTIME_STAND_IN void* __cxa_allocate_exception(std::size_t) noexcept {
    internal_error("exception thrown");
}
RUNTIME_STAND_IN void __cxa_free_exception(void*) noexcept { internal_error("exception freed"); }
RUNTIME_STAND_IN void __cxa_throw(void*, void*, void (*)(void*)) {
    internal_error("exception thrown");
}
RUNTIME_STAND_IN void __cxa_rethrow() { internal_error("exception rethrown"); }
RUNTIME_STAND_IN void* __cxa_begin_catch(void*) noexcept { internal_error("exception caught"); }
RUNTIME_STAND_IN void __cxa_end_catch() { internal_error("exception caught"); }
RUNTIME_STAND_IN void __cxa_call_unexpected(void*) { internal_error("unexpected exception"); }
RUNTIME_STAND_IN int __gxx_personality_v0(...) { internal_error("stack unwound"); }
RUNTIME_STAND_IN void _Unwind_Resume(void*) { internal_error("stack unwound"); }
}
namespace std {
RUNTIME_STAND_IN void terminate() noexcept { internal_error("terminate called"); }
}

#if defined(_LIBCPP_VERSION)
// Where libc++ would throw (a string or vector past its largest size, an empty
// std::function called), a build without exceptions calls this.
_LIBCPP_BEGIN_NAMESPACE_STD
void __libcpp_verbose_abort(const char* format, ...) {
    char reason[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    internal_error(reason);
}
_LIBCPP_END_NAMESPACE_STD
#endif
