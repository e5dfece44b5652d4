#include "common/core/trace.hpp"

#include "common/core/text.hpp"

#include <exception>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace common {
namespace {

TraceSink traceSink = nullptr;

}  // namespace

void trace([[maybe_unused]] std::wstring_view line) {
#ifdef _WIN32
    const std::wstring terminated = std::wstring(line) + L"\n";
    OutputDebugStringW(terminated.c_str());
#endif
    if (traceSink) traceSink(line);
}

void setTraceSink(TraceSink sink) { traceSink = sink; }

void trace(const Failure& failure) { trace(failure.text()); }

bool FirstFailure::add(Result<> step) {
    if (step) return true;
    if (first_) {
        first_ = std::move(step);
    } else {
        trace(step.failure());
    }
    return false;
}

void traceCurrentException(std::wstring_view where) {
    std::wstring line(where);
    try {
        throw;
    } catch (const Failure& failure) {
        line += L": " + failure.text();
    } catch (const std::exception& error) {
        line += L": exception: " + asciiToWide(error.what());
    } catch (...) {
        line += L": unknown exception";
    }
    trace(line);
}

}  // namespace common
