#include "win32/run_log.hpp"

#include "win32/filled_text.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

#include <utility>

namespace update {
namespace {

using common::Result;
using common::win32::UniqueFile;

// The log, open for the rest of the process once it is started.
UniqueFile logFile;

// Other runs append to the same file, and may have made it.
constexpr DWORD logSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A link at the name is opened itself, never what it points to.
constexpr DWORD logFileFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

// The file that is there, or a new one, which only this handle may delete.
Result<UniqueFile> openLogFile(const std::wstring& path, bool& created) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                    logSharing, nullptr, OPEN_EXISTING, logFileFlags, nullptr));
        if (file) return file;
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return FAILED_CALL(CreateFileW).about(path);
        file.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE,
                               logSharing, nullptr, CREATE_NEW, logFileFlags, nullptr));
        created = static_cast<bool>(file);
        if (file) return file;
        // Another run may have made it in between; then it is opened as it is.
        if (GetLastError() != ERROR_FILE_EXISTS) return FAILED_CALL(CreateFileW).about(path);
    }
    return common::stopFailure(L"startRunLog", L"made and gone again meanwhile: " + path);
}

// "\\?\C:\x" as "C:\x", and "\\?\UNC\server\x" as "\\server\x".
std::wstring withoutLongPrefix(std::wstring path) {
    if (path.starts_with(L"\\\\?\\UNC\\")) return path.replace(0, 8, L"\\\\");
    if (path.starts_with(L"\\\\?\\")) return path.substr(4);
    return path;
}

// Whether the open file is a plain one with one name, reached by the path as
// given, which names each folder on the way in full: the system's path of
// the file differs when a link or junction was followed.
Result<> isPlainFileAt(HANDLE file, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return FAILED_CALL(GetFileInformationByHandle).about(path);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks != 1)
        return common::stopFailure(L"startRunLog", L"a link, or a file with more names: " + path);
    const auto [full, fullError] = filledText(
        [&](wchar_t* to, DWORD size) { return GetFullPathNameW(path.c_str(), size, to, nullptr); });
    if (full.empty()) return FAILED_STATUS(GetFullPathNameW, fullError).about(path);
    const auto [asked, askedError] = filledText(
        [&](wchar_t* to, DWORD size) { return GetLongPathNameW(full.c_str(), to, size); });
    if (asked.empty()) return FAILED_STATUS(GetLongPathNameW, askedError).about(full);
    const auto [reached, reachedError] = filledText([&](wchar_t* to, DWORD size) {
        return GetFinalPathNameByHandleW(file, to, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    if (reached.empty()) return FAILED_STATUS(GetFinalPathNameByHandleW, reachedError).about(path);
    const std::wstring actual = withoutLongPrefix(reached);
    if (CompareStringOrdinal(asked.data(), static_cast<int>(asked.size()), actual.data(),
                             static_cast<int>(actual.size()), TRUE) != CSTR_EQUAL)
        return common::stopFailure(L"startRunLog",
                                   L"reached through a link: " + asked + L" is " + actual);
    return {};
}

// "2026-12-08 10:15:03.123 [1234] "
std::wstring lineStart() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    const struct {
        unsigned value;
        int digits;
        wchar_t after;
    } parts[] = {{t.wYear, 4, L'-'},        {t.wMonth, 2, L'-'},  {t.wDay, 2, L' '},
                 {t.wHour, 2, L':'},        {t.wMinute, 2, L':'}, {t.wSecond, 2, L'.'},
                 {t.wMilliseconds, 3, L' '}};
    std::wstring text;
    for (const auto& part : parts)
        text.append(common::numberText(part.value, 10, part.digits)).push_back(part.after);
    return text + common::concat({L"[", common::numberText(GetCurrentProcessId()), L"] "});
}

// Entries a failed write lost since the last one that reached the log.
unsigned lostEntries = 0;

// An entry of several lines gives each line its own time.
std::string logLines(std::wstring_view entry) {
    const std::wstring start = lineStart();
    std::wstring text;
    if (lostEntries != 0) {
        text = common::concat(
            {start, L"(the log missed ", common::numberText(lostEntries), L" entries here)\r\n"});
    }
    for (std::size_t from = 0; from != std::wstring_view::npos;) {
        const std::size_t end = entry.find(L'\n', from);
        std::wstring_view line = entry.substr(from, end - from);
        if (line.ends_with(L'\r')) line.remove_suffix(1);
        text += common::concat({start, line, L"\r\n"});
        from = end == std::wstring_view::npos ? end : end + 1;
    }
    return common::win32::wideToUtf8(text);
}

// One write per entry: the system puts it whole at the end of the file, after
// whatever another run appended. A write that fails loses its entry, which
// the debug output still has; the next entry that reaches the log says how
// many went missing before it.
void appendToLog(std::wstring_view entry) {
    const std::string bytes = logLines(entry);
    DWORD written = 0;
    if (WriteFile(logFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr)) {
        lostEntries = 0;
        return;
    }
    ++lostEntries;
    const common::Failure failure = FAILED_CALL(WriteFile).about(L"the log file");
    OutputDebugStringW((failure.text() + L"\n").c_str());
}

}  // namespace

common::Result<> startRunLog(const std::wstring& given) {
    // Tools write paths with either separator; the checks below compare
    // the path with the system's name of the file, which has backslashes.
    std::wstring path = given;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    bool created = false;
    auto file = openLogFile(path, created);
    if (!file) return file.failure();
    if (auto plain = isPlainFileAt(file->get(), path); !plain) {
        // Deleted through this handle: the path leads elsewhere.
        FILE_DISPOSITION_INFO gone{TRUE};
        if (created &&
            !SetFileInformationByHandle(file->get(), FileDispositionInfo, &gone, sizeof gone))
            common::trace(FAILED_CALL(SetFileInformationByHandle).about(path));
        return plain;
    }
    logFile = std::move(*file);
    common::setTraceSink(&appendToLog);
    return {};
}

void finishRunLog() {
    if (logFile && !FlushFileBuffers(logFile.get())) {
        const common::Failure failure = FAILED_CALL(FlushFileBuffers).about(L"the log file");
        OutputDebugStringW((failure.text() + L"\n").c_str());
    }
}

}  // namespace update
