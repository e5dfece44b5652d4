// The standard library reports a broken precondition (a string grown past
// max_size(), an out-of-range position) through the std::__throw_* functions.
// libstdc++'s own definitions throw std::logic_error and its kin, whose
// message is a reference-counted string of the old ABI, and linking them in
// brings that whole second string implementation, std::random_device and the
// library's std::string instantiations with it: about 50 KB of code and
// unwind tables in each program. The programs catch only common::Failure and
// std::exception, so these definitions throw exceptions of the same meaning
// whose message is the library's literal itself.
//
// Every function the library's functexcept.o defines is defined here, so the
// linker never pulls that member in; one left out would be a duplicate
// definition at link time, not a silent mix.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryError final : public std::exception {
public:
    explicit LibraryError(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;  // always a string literal of the library's
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* message) { throw LibraryError(message); }
void __throw_domain_error(const char* message) { throw LibraryError(message); }
void __throw_invalid_argument(const char* message) { throw LibraryError(message); }
void __throw_length_error(const char* message) { throw LibraryError(message); }
void __throw_out_of_range(const char* message) { throw LibraryError(message); }
// The format's arguments are left out: the literal names the failed check.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
void __throw_runtime_error(const char* message) { throw LibraryError(message); }
void __throw_range_error(const char* message) { throw LibraryError(message); }
void __throw_overflow_error(const char* message) { throw LibraryError(message); }
void __throw_underflow_error(const char* message) { throw LibraryError(message); }

}  // namespace std
