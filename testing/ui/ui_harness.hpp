#pragma once
// Drives a GUI program from a test running in the same Wine prefix and
// wineserver: starts it, finds its windows and controls, clicks, types,
// answers message boxes and file-open dialogs, takes screenshots.
//
// Every wait is bounded. Lookups that must succeed throw HarnessError with a
// message naming what was looked for, so a GoogleTest case fails with a
// readable reason; the try... variants return an empty optional instead.

#include <chrono>
#include <cstdint>
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
inline constexpr Millis kDefaultWait{15000};
inline constexpr Millis kPollInterval{50};

class HarnessError : public std::runtime_error {
public:
    explicit HarnessError(const std::string& what) : std::runtime_error(what) {}
    explicit HarnessError(const std::wstring& what);
};

// UTF-16 <-> UTF-8 for messages and paths.
std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

// Polls `condition` every kPollInterval until it is true or `timeout` passed.
template <class Condition>
bool waitUntil(Condition condition, Millis timeout = kDefaultWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::Sleep(static_cast<DWORD>(kPollInterval.count()));
    }
}

// ---------------------------------------------------------------- windows

// A window or control of the program under test. Cheap to copy; does not
// own the HWND (the program does).
class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}

    HWND handle() const { return hwnd_; }
    bool exists() const;        // still a window (IsWindow)
    std::wstring text() const;  // WM_GETTEXT, works across processes
    std::wstring className() const;
    int controlId() const;
    bool enabled() const;
    bool visible() const;  // IsWindowVisible: it and all its parents are shown
    Window parent() const;
    RECT screenRect() const;

    // Every descendant, in EnumChildWindows order (z-order, depth first).
    std::vector<Window> descendants() const;

    // Clicks a button by posting BM_CLICK: returns at once, so a click that
    // opens a modal window or a message box does not block the test.
    void click() const;
    // Clicks with SendMessage: returns when the program has handled it.
    // Only for clicks that open nothing modal.
    void clickAndWait() const;
    void setText(const std::wstring& text) const;  // WM_SETTEXT (edit, combobox)
    void close() const;                            // posts WM_CLOSE
    // List box or combo box: selects an item and notifies the parent as a
    // user's selection would (LBN_SELCHANGE / CBN_SELCHANGE).
    void selectItem(int index) const;
    void selectItem(const std::wstring& itemText) const;  // exact text; throws if absent
    std::vector<std::wstring> items() const;              // list box or combo box items
    int selectedIndex() const;                            // -1 when none

private:
    HWND hwnd_ = nullptr;
};

// What a child control must match; empty fields match anything.
struct ControlQuery {
    std::optional<std::wstring> text = std::nullopt;       // exact window text, '&' included
    std::optional<int> id = std::nullopt;                  // control id
    std::optional<std::wstring> className = std::nullopt;  // e.g. L"Button", L"Static", L"Edit"
    bool visibleOnly = false;  // only controls IsWindowVisible reports shown
};

std::optional<Window> tryFindControl(const Window& parent, const ControlQuery& query);
Window findControl(const Window& parent, const ControlQuery& query);  // throws
std::vector<Window> findControls(const Window& parent, const ControlQuery& query);

// What a top-level window must match; empty fields match anything.
struct WindowQuery {
    std::optional<std::wstring> title = std::nullopt;      // exact window text
    std::optional<std::wstring> className = std::nullopt;  // e.g. L"#32770" for dialogs
    bool visibleOnly = true;
};

// Top-level windows (EnumWindows) owned by the process `processId`.
std::vector<Window> topLevelWindows(DWORD processId, const WindowQuery& query = {});
Window waitForWindow(DWORD processId, const WindowQuery& query, Millis timeout = kDefaultWait);

// Waits until the window's text equals `title`.
bool waitForTitle(const Window& window, const std::wstring& title, Millis timeout = kDefaultWait);
// Waits until the window is destroyed.
bool waitForGone(const Window& window, Millis timeout = kDefaultWait);

// ---------------------------------------------------------------- process

struct LaunchOptions {
    std::vector<std::wstring> arguments = {};  // quoted as CommandLineToArgvW expects
    std::wstring workingDirectory = {};        // empty: the test's own
    // Set (or, with an empty value, removed) in the child's environment only.
    // Wine's own loader variables (WINEDLLOVERRIDES) do not take effect this
    // way; use HKCU\Software\Wine\AppDefaults\<program>\DllOverrides.
    std::vector<std::pair<std::wstring, std::wstring>> environment = {};
};

// A started program. Killed on destruction if it still runs, so a failing
// test never leaves it behind.
class Process {
public:
    static Process start(const std::wstring& program, const LaunchOptions& options = {});

    Process(Process&&) = default;
    Process& operator=(Process&&) = default;
    ~Process();

    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }
    bool running() const;
    // The exit code, or nothing if still running after `timeout`.
    std::optional<DWORD> waitForExit(Millis timeout = kDefaultWait) const;
    void kill() const;  // TerminateProcess and a bounded wait

    // Gives up early, saying so, when the program ends first.
    Window waitForWindow(const WindowQuery& query, Millis timeout = kDefaultWait) const;

private:
    Process(common::win32::unique_handle process, DWORD id)
        : process_(std::move(process)), id_(id) {}
    common::win32::unique_handle process_;
    DWORD id_ = 0;
};

// ---------------------------------------------------------------- message boxes

// A standard message box (dialog class "#32770") as the user sees it.
struct MessageBoxView {
    Window window;
    std::wstring caption;
    std::wstring text;                  // static id 0xFFFF, else the first Static with text
    std::vector<std::wstring> buttons;  // button captions, '&' included

    // Clicks the button whose caption equals `buttonText` ('&' ignored).
    void press(const std::wstring& buttonText) const;
};

// Waits for a "#32770" window of the process (optionally with that caption)
// that has a message text, and reads it.
std::optional<MessageBoxView> tryWaitForMessageBox(DWORD processId,
                                                   const std::optional<std::wstring>& caption = {},
                                                   Millis timeout = kDefaultWait);
MessageBoxView waitForMessageBox(DWORD processId, const std::optional<std::wstring>& caption = {},
                                 Millis timeout = kDefaultWait);

// ---------------------------------------------------------------- file-open dialog

// Waits for the process's common file-open dialog (explorer style), puts
// `windowsPath` into its file-name field and presses Open. Returns once the
// dialog has closed; throws if it did not appear or did not close.
void chooseFileInOpenDialog(DWORD processId, const std::wstring& windowsPath,
                            Millis timeout = kDefaultWait);

// ---------------------------------------------------------------- screenshots

// Captures the window (with its frame) from the screen into
// <screens>/<name>.bmp; the Wine runner turns it into <name>.png afterwards.
// Brings the window to the front first. Returns the file written.
std::wstring saveScreenshot(const Window& window, const std::wstring& name);

// ---------------------------------------------------------------- display scale

// Sets the display's dots per inch (LogPixels) for programs started from now
// on; the setting is removed again on destruction.
class DisplayDpi {
public:
    explicit DisplayDpi(int dpi);
    DisplayDpi(const DisplayDpi&) = delete;
    DisplayDpi& operator=(const DisplayDpi&) = delete;
    ~DisplayDpi();
};

// Makes this thread see the windows of programs aware of the display scale in
// their true pixels, not scaled to 96 dots per inch. Throws if it cannot.
void readTruePixels();

// The control's window rectangle in its parent's client coordinates.
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
// Every label and button below `window` (visible or not), through the text
// probe DLL named by UI_TEXT_PROBE, hooked into the program's window thread.
std::vector<TextMeasure> measureTexts(const Window& window);

// ---------------------------------------------------------------- paths and files

std::wstring environmentVariable(const std::wstring& name);  // empty when unset
// A program or file the test run names in `variable`, as a Windows path; throws if unset.
std::wstring pathFromEnvironment(const std::wstring& variable);
// "/a/b" -> "Z:\a\b" (Wine maps the Unix root as drive Z:). Windows paths pass unchanged.
std::wstring windowsPathFromUnix(const std::wstring& path);
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

void writeFile(const std::wstring& path, const std::string& bytes);  // creates parent folders
std::string readFile(const std::wstring& path);                      // throws if unreadable
bool fileExists(const std::wstring& path);
bool folderExists(const std::wstring& path);
void createFolders(const std::wstring& path);  // like mkdir -p
void copyFile(const std::wstring& from, const std::wstring& to);
void removeTree(const std::wstring& path);  // files and folders; no error if absent

// Relative path -> contents of every file under `folder`; folders appear with
// a trailing '\' and no contents, so empty folders count too.
using TreeSnapshot = std::map<std::wstring, std::string>;
TreeSnapshot snapshotTree(const std::wstring& folder);

// A fresh folder under %TEMP%, removed with everything in it on destruction.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix = L"e2e");
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return joinPath(path_, name); }

private:
    std::wstring path_;
};

// ---------------------------------------------------------------- registry

// An open registry key. The view is the test's own bitness unless `access`
// adds KEY_WOW64_32KEY or KEY_WOW64_64KEY.
class RegKey {
public:
    static RegKey create(HKEY root, const std::wstring& subKey, REGSAM access = KEY_ALL_ACCESS);
    static std::optional<RegKey> open(HKEY root, const std::wstring& subKey,
                                      REGSAM access = KEY_READ);
    // Removes the key and all below it; no error if absent.
    static void deleteTree(HKEY root, const std::wstring& subKey, REGSAM view = 0);

    HKEY get() const { return key_.get(); }
    void setString(const std::wstring& name, const std::wstring& value) const;  // REG_SZ
    void setRaw(const std::wstring& name, DWORD type, const std::string& bytes) const;
    std::optional<std::wstring> readString(const std::wstring& name) const;

    struct Value {
        DWORD type;
        std::string bytes;
        bool operator==(const Value&) const = default;
    };
    // Every value of the key, by name.
    std::map<std::wstring, Value> values() const;

private:
    explicit RegKey(common::win32::unique_hkey key) : key_(std::move(key)) {}
    common::win32::unique_hkey key_;
};

}  // namespace ui_harness

namespace ui_harness {

// ---------------------------------------------------------------- planted DLLs

// A stand-in version.dll planted in `folder` beside a program under test. It
// leaves a marker when a process loads it. Wine prefers its own DLLs, so it is
// told to prefer a copy on the search path for the named programs, as
// Windows' search order would; the override is undone on destruction.
class PlantedVersionDll {
public:
    PlantedVersionDll(const std::wstring& folder, std::vector<std::wstring> programs);
    PlantedVersionDll(const PlantedVersionDll&) = delete;
    PlantedVersionDll& operator=(const PlantedVersionDll&) = delete;
    ~PlantedVersionDll();

    bool loaded() const;  // some process loaded the plant
    // Runs a program from `folder` that loads "version.dll" the unguarded way,
    // to show the plant is found at all; true when that loaded it.
    bool foundByUnguardedProgram() const;

private:
    std::wstring folder_;
    std::vector<std::wstring> programs_;
};

}  // namespace ui_harness
