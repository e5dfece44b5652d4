#pragma once
// Drives a GUI program under Wine from a test. Every wait is bounded; lookups
// that must succeed throw HarnessError naming what was looked for.

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "common/win32/unique_any.hpp"

namespace ui_harness {

using Millis = std::chrono::milliseconds;
inline constexpr Millis defaultWait{15000};

class HarnessError : public std::runtime_error {
public:
    explicit HarnessError(const std::string& what) : std::runtime_error(what) {}
    explicit HarnessError(const std::wstring& what);
};

std::string narrow(const std::wstring& text);  // UTF-8

template <class Condition>
bool waitUntil(Condition condition, Millis timeout = defaultWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::Sleep(50);
    }
}

// A window or control of the program under test; does not own the HWND.
class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}

    HWND handle() const { return hwnd_; }
    bool exists() const { return hwnd_ && IsWindow(hwnd_); }
    std::wstring text() const;  // WM_GETTEXT, works across processes
    std::wstring className() const;
    int controlId() const { return GetDlgCtrlID(hwnd_); }
    bool enabled() const { return IsWindowEnabled(hwnd_); }
    bool visible() const { return IsWindowVisible(hwnd_); }  // it and all its parents are shown
    Window parent() const { return Window(GetParent(hwnd_)); }
    std::vector<Window> descendants() const;

    void click() const;         // posted: a modal window it opens cannot block the test
    void clickAndWait() const;  // sent: times out while a modal window it opened is up
    void setText(const std::wstring& text) const;
    void close() const { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }
    // Combo box items; selecting notifies the parent as a user's choice would.
    std::vector<std::wstring> items() const;
    int selectedIndex() const;  // -1 when none
    void selectItem(const std::wstring& itemText) const;

private:
    HWND hwnd_ = nullptr;
};

// What a control must match; empty fields match anything.
struct ControlQuery {
    std::optional<std::wstring> text = std::nullopt;  // exact window text, '&' included
    std::optional<int> id = std::nullopt;
    std::optional<std::wstring> className = std::nullopt;
    bool visibleOnly = false;
};

std::optional<Window> tryFindControl(const Window& parent, const ControlQuery& query);
Window findControl(const Window& parent, const ControlQuery& query);  // throws
std::vector<Window> findControls(const Window& parent, const ControlQuery& query);

struct WindowQuery {
    std::optional<std::wstring> title = std::nullopt;
    std::optional<std::wstring> className = std::nullopt;  // e.g. L"#32770" for dialogs
};

// The process's visible top-level windows that match.
std::vector<Window> topLevelWindows(DWORD processId, const WindowQuery& query = {});
bool waitForGone(const Window& window, Millis timeout = defaultWait);

struct LaunchOptions {
    std::vector<std::wstring> arguments = {};
    std::wstring workingDirectory = {};  // empty: the test's own
};

// A started program, killed on destruction so a failing test never leaves it behind.
class Process {
public:
    static Process start(const std::wstring& program, const LaunchOptions& options = {});

    Process(Process&&) = default;
    Process& operator=(Process&&) = default;
    ~Process();

    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }
    bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    std::optional<DWORD> waitForExit(Millis timeout = defaultWait) const;
    void kill() const;  // TerminateProcess and a bounded wait

    // Gives up early, saying so, when the program ends first.
    Window waitForWindow(const WindowQuery& query, Millis timeout = defaultWait) const;

private:
    Process(common::win32::UniqueHandle process, DWORD id)
        : process_(std::move(process)), id_(id) {}
    common::win32::UniqueHandle process_;
    DWORD id_ = 0;
};

// A standard message box as the user sees it.
struct MessageBoxView {
    Window window;
    std::wstring text;
    std::vector<std::wstring> buttons;  // captions, '&' included
    void press(const std::wstring& button) const;
};
MessageBoxView waitForMessageBox(DWORD processId, const std::wstring& caption);

// Enters `windowsPath` in the process's file-open dialog, presses Open and waits for it to close.
void chooseFileInOpenDialog(DWORD processId, const std::wstring& windowsPath);

// Captures the window from the screen into <screens>/<name>.bmp (the runner makes it a png).
void saveScreenshot(const Window& window, const std::wstring& name);

// Sets the display's dots per inch for programs started from now on, until destroyed,
// and makes this thread see their windows in true pixels.
class DisplayDpi {
public:
    explicit DisplayDpi(int dpi);
    ~DisplayDpi();
};

RECT rectInParent(const Window& control);

// What the text of a label or button needs, measured in the program itself
// with the control's own font: wrapped at its client width, and on one line.
struct TextMeasure {
    Window control;
    std::wstring text;
    SIZE client;
    SIZE wrapped;
    SIZE oneLine;
};
// Every label and button below `window`, via the UI_TEXT_PROBE DLL hooked into its thread.
std::vector<TextMeasure> measureTexts(const Window& window);

// A program or file the test run names in `variable`, as a Windows path; throws if unset.
std::wstring pathFromEnvironment(const std::wstring& variable);
// "/a/b" -> "Z:\a\b" (Wine maps the Unix root as drive Z:). Windows paths pass unchanged.
std::wstring windowsPathFromUnix(std::wstring path);
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

void writeFile(const std::wstring& path, const std::string& bytes);  // creates parent folders
std::string readFile(const std::wstring& path);                      // throws if unreadable
bool fileExists(const std::wstring& path);
bool folderExists(const std::wstring& path);
void createFolders(const std::wstring& path);
void copyFile(const std::wstring& from, const std::wstring& to);  // creates parent folders
void removeTree(const std::wstring& path);                        // no error if absent

// Relative path -> contents of every file under `folder`; folders as "name\\" -> "".
using TreeSnapshot = std::map<std::wstring, std::string>;
TreeSnapshot snapshotTree(const std::wstring& folder);

// A fresh folder under %TEMP%, removed with everything in it on destruction.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() { removeTree(path_); }
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return joinPath(path_, name); }

private:
    std::wstring path_;
};

// An open registry key, in the test's own view unless `access` adds KEY_WOW64_32KEY/64KEY.
class RegKey {
public:
    static RegKey create(HKEY root, const std::wstring& subKey);
    static std::optional<RegKey> open(HKEY root, const std::wstring& subKey,
                                      REGSAM access = KEY_READ);
    static void deleteTree(HKEY root, const std::wstring& subKey);

    HKEY get() const { return key_.get(); }
    void setString(const std::wstring& name, const std::wstring& value) const;  // REG_SZ
    void setRaw(const std::wstring& name, DWORD type, const std::string& bytes) const;
    std::optional<std::wstring> readString(const std::wstring& name) const;

    struct Value {
        DWORD type;
        std::string bytes;
        bool operator==(const Value&) const = default;
    };
    std::map<std::wstring, Value> values() const;

private:
    explicit RegKey(common::win32::UniqueKey key) : key_(std::move(key)) {}
    common::win32::UniqueKey key_;
};

// A stand-in version.dll in `folder` that leaves a marker when loaded. Wine is told to prefer it
// for the named programs, as Windows' search order would, until destroyed.
class PlantedVersionDll {
public:
    PlantedVersionDll(const std::wstring& folder, std::vector<std::wstring> programs);
    PlantedVersionDll(const PlantedVersionDll&) = delete;
    PlantedVersionDll& operator=(const PlantedVersionDll&) = delete;
    ~PlantedVersionDll();

    bool loaded() const;  // some process loaded the plant
    // True when a program in `folder` loading "version.dll" unguarded loads the plant.
    bool foundByUnguardedProgram() const;

private:
    std::wstring folder_;
    std::vector<std::wstring> programs_;
};

}  // namespace ui_harness
