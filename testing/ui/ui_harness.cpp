#include "ui_harness.hpp"

#include <algorithm>

namespace ui_harness {

HarnessError::HarnessError(const std::wstring& what) : std::runtime_error(narrow(what)) {}

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// Bounded, so a hung program cannot hang the test.
static LRESULT sendBounded(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
        throw HarnessError("a window did not answer a message in time");
    return static_cast<LRESULT>(result);
}

static BOOL CALLBACK collect(HWND window, LPARAM found) noexcept {
    reinterpret_cast<std::vector<Window>*>(found)->emplace_back(window);
    return TRUE;
}

std::wstring Window::text() const {
    std::wstring text(static_cast<size_t>(sendBounded(hwnd_, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(
        sendBounded(hwnd_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring Window::className() const {
    wchar_t name[256] = {};
    return std::wstring(name, static_cast<size_t>(std::max(GetClassNameW(hwnd_, name, 256), 0)));
}

std::vector<Window> Window::descendants() const {
    std::vector<Window> found;
    EnumChildWindows(hwnd_, collect, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Window::click() const {
    if (!PostMessageW(hwnd_, BM_CLICK, 0, 0)) throw HarnessError("could not post a click");
}

void Window::clickAndWait() const { sendBounded(hwnd_, BM_CLICK, 0, 0); }

void Window::setText(const std::wstring& text) const {
    sendBounded(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<std::wstring> Window::items() const {
    std::vector<std::wstring> result(static_cast<size_t>(sendBounded(hwnd_, CB_GETCOUNT, 0, 0)));
    for (size_t i = 0; i < result.size(); ++i) {
        result[i].resize(static_cast<size_t>(sendBounded(hwnd_, CB_GETLBTEXTLEN, i, 0)) + 1);
        sendBounded(hwnd_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(result[i].data()));
        result[i].pop_back();
    }
    return result;
}

int Window::selectedIndex() const {
    return static_cast<int>(sendBounded(hwnd_, CB_GETCURSEL, 0, 0));
}

void Window::selectItem(const std::wstring& itemText) const {
    const auto all = items();
    const auto found = std::find(all.begin(), all.end(), itemText);
    if (found == all.end()) throw HarnessError(L"no list item \"" + itemText + L"\"");
    sendBounded(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(found - all.begin()), 0);
    // Setting the selection by message sends no notification; a user's choice would.
    PostMessageW(GetParent(hwnd_), WM_COMMAND, MAKEWPARAM(controlId(), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(hwnd_));
}

static bool matches(const Window& window, const ControlQuery& query) {
    return (!query.id || window.controlId() == *query.id) &&
           (!query.className || window.className() == *query.className) &&
           (!query.visibleOnly || window.visible()) &&
           (!query.text || window.text() == *query.text);
}

std::vector<Window> findControls(const Window& parent, const ControlQuery& query) {
    std::vector<Window> found;
    for (const auto& child : parent.descendants())
        if (matches(child, query)) found.push_back(child);
    return found;
}

std::optional<Window> tryFindControl(const Window& parent, const ControlQuery& query) {
    for (const auto& child : parent.descendants())
        if (matches(child, query)) return child;
    return std::nullopt;
}

Window findControl(const Window& parent, const ControlQuery& query) {
    if (auto found = tryFindControl(parent, query)) return *found;
    throw HarnessError(L"no control " + query.text.value_or(L"") + L" #" +
                       std::to_wstring(query.id.value_or(0)) + L" in \"" + parent.text() + L"\"");
}

std::vector<Window> topLevelWindows(DWORD processId, const WindowQuery& query) {
    std::vector<Window> all, found;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    for (const auto& window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window.handle(), &owner);
        if (owner == processId &&
            matches(window,
                    {.text = query.title, .className = query.className, .visibleOnly = true}))
            found.push_back(window);
    }
    return found;
}

bool waitForGone(const Window& window, Millis timeout) {
    return waitUntil([&] { return !window.exists(); }, timeout);
}

Process Process::start(const std::wstring& program, const LaunchOptions& options) {
    // No argument the tests pass holds a quote or ends in a backslash.
    std::wstring commandLine = L"\"" + program + L"\"";
    for (const auto& argument : options.arguments) commandLine += L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Wine answers ERROR_INTERNAL_ERROR when the new process ended inside
    // Wine's own start-up, before the program's code ran (seen once in some
    // hundreds of starts); such a start is tried again, twice at most.
    DWORD error = ERROR_INTERNAL_ERROR;
    for (int attempt = 0; attempt < 3 && error == ERROR_INTERNAL_ERROR; ++attempt) {
        error = CreateProcessW(
                    program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                    options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
                    &startup, &info)
                    ? ERROR_SUCCESS
                    : GetLastError();
    }
    if (error != ERROR_SUCCESS)
        throw HarnessError(L"cannot start " + program + L" (error " + std::to_wstring(error) +
                           L")");
    const common::win32::UniqueHandle thread(info.hThread);
    common::win32::UniqueHandle process(info.hProcess);
    // Lets the window lookups succeed as soon as the program has set itself up.
    WaitForInputIdle(process.get(), 10000);
    return Process(std::move(process), info.dwProcessId);
}

Process::~Process() {
    if (process_ && running()) kill();
}

std::optional<DWORD> Process::waitForExit(Millis timeout) const {
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void Process::kill() const {
    TerminateProcess(process_.get(), 9);
    WaitForSingleObject(process_.get(), 10000);
}

Window Process::waitForWindow(const WindowQuery& query, Millis timeout) const {
    std::vector<Window> found;
    // Stops early when the program has ended: its window will not come.
    waitUntil([&] { return !(found = topLevelWindows(id_, query)).empty() || !running(); },
              timeout);
    if (!found.empty()) return found.front();
    std::wstring present;
    for (const auto& window : topLevelWindows(id_))
        present += L" [" + window.className() + L" \"" + window.text() + L"\"]";
    const auto code = waitForExit(Millis{0});
    throw HarnessError(L"no window \"" + query.title.value_or(L"") + L"\"; " +
                       (code ? L"the program ended with " + std::to_wstring(*code)
                             : L"the program shows" + present));
}

void MessageBoxView::press(const std::wstring& button) const {
    findControl(window, {.text = button, .className = L"Button", .visibleOnly = true}).click();
}

MessageBoxView waitForMessageBox(DWORD processId, const std::wstring& caption) {
    std::optional<MessageBoxView> found;
    waitUntil([&] {
        for (const auto& dialog :
             topLevelWindows(processId, {.title = caption, .className = L"#32770"})) {
            // The message text is the static 0xFFFF; a box still being filled has none yet.
            MessageBoxView view{dialog, {}, {}};
            if (const auto text = tryFindControl(dialog, {.id = 0xFFFF})) view.text = text->text();
            for (const auto& button :
                 findControls(dialog, {.className = L"Button", .visibleOnly = true}))
                view.buttons.push_back(button.text());
            if (!view.text.empty() && !view.buttons.empty()) found = std::move(view);
        }
        return found.has_value();
    });
    if (!found) throw HarnessError(L"no message box \"" + caption + L"\"");
    return *found;
}

void chooseFileInOpenDialog(DWORD processId, const std::wstring& windowsPath) {
    // The file name is the edit in combo box cmb13 (0x47C) of the explorer-style dialog.
    std::optional<Window> dialog, field;
    waitUntil([&] {
        for (const auto& candidate : topLevelWindows(processId, {.className = L"#32770"}))
            if (const auto combo = tryFindControl(candidate, {.id = 0x47C}))
                if ((field = tryFindControl(*combo, {.className = L"Edit"}))) dialog = candidate;
        return dialog.has_value();
    });
    if (!dialog) throw HarnessError("no file-open dialog");
    field->setText(windowsPath);
    // IDOK is the Open button; posting WM_COMMAND works whatever its caption.
    PostMessageW(dialog->handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog->handle(), IDOK)));
    if (!waitForGone(*dialog)) throw HarnessError(L"the file-open dialog refused " + windowsPath);
}

}  // namespace ui_harness
