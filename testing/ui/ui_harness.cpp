#include "ui_harness.hpp"

#include <algorithm>
#include <cwchar>

namespace ui_harness {

HarnessError::HarnessError(const std::wstring& what) : std::runtime_error(narrow(what)) {}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// Bounded, so a hung program cannot hang the test.
constexpr UINT kSendTimeoutMs = 5000;

static LRESULT sendBounded(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result))
        throw HarnessError("a window did not answer a message in time");
    return static_cast<LRESULT>(result);
}

static std::wstring describe(const ControlQuery& query) {
    std::wstring out = L"control";
    if (query.text) out += L" text=\"" + *query.text + L"\"";
    if (query.id) out += L" id=" + std::to_wstring(*query.id);
    if (query.className) out += L" class=" + *query.className;
    return out;
}

static std::wstring describe(const WindowQuery& query) {
    std::wstring out = L"window";
    if (query.title) out += L" title=\"" + *query.title + L"\"";
    if (query.className) out += L" class=" + *query.className;
    return out;
}

static std::wstring hex(DWORD value) {
    wchar_t text[16];
    swprintf(text, 16, L"%08lX", static_cast<unsigned long>(value));
    return text;
}

static bool matches(const Window& window, const ControlQuery& query) {
    if (query.id && window.controlId() != *query.id) return false;
    if (query.className && _wcsicmp(window.className().c_str(), query.className->c_str()) != 0)
        return false;
    if (query.visibleOnly && !window.visible()) return false;
    return !query.text || window.text() == *query.text;
}

static std::wstring withoutAmpersands(std::wstring text) {
    std::erase(text, L'&');
    return text;
}

static BOOL CALLBACK collectChild(HWND child, LPARAM param) {
    reinterpret_cast<std::vector<Window>*>(param)->emplace_back(child);
    return TRUE;
}

bool Window::exists() const { return hwnd_ != nullptr && IsWindow(hwnd_); }

std::wstring Window::text() const {
    const auto length = sendBounded(hwnd_, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto copied =
        sendBounded(hwnd_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring Window::className() const {
    wchar_t name[256] = {};
    const int length = GetClassNameW(hwnd_, name, 256);
    return std::wstring(name, static_cast<size_t>(std::max(length, 0)));
}

int Window::controlId() const { return GetDlgCtrlID(hwnd_); }
bool Window::enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
bool Window::visible() const { return IsWindowVisible(hwnd_) != FALSE; }

RECT Window::screenRect() const {
    RECT rect{};
    GetWindowRect(hwnd_, &rect);
    return rect;
}

Window Window::parent() const { return Window(GetParent(hwnd_)); }

std::vector<Window> Window::descendants() const {
    std::vector<Window> found;
    EnumChildWindows(hwnd_, collectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Window::click() const {
    if (!PostMessageW(hwnd_, BM_CLICK, 0, 0)) throw HarnessError("could not post a click");
}

void Window::clickAndWait() const { sendBounded(hwnd_, BM_CLICK, 0, 0); }

void Window::setText(const std::wstring& text) const {
    sendBounded(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Window::close() const { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

static bool isComboBox(const Window& window) {
    return _wcsicmp(window.className().c_str(), L"ComboBox") == 0;
}

std::vector<std::wstring> Window::items() const {
    const bool combo = isComboBox(*this);
    const auto count = sendBounded(hwnd_, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    std::vector<std::wstring> result;
    for (LRESULT i = 0; i < count; ++i) {
        const auto length = sendBounded(hwnd_, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
        if (length < 0) break;
        std::wstring item(static_cast<size_t>(length) + 1, L'\0');
        sendBounded(hwnd_, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                    reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(length));
        result.push_back(item);
    }
    return result;
}

int Window::selectedIndex() const {
    return static_cast<int>(
        sendBounded(hwnd_, isComboBox(*this) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

void Window::selectItem(int index) const {
    const bool combo = isComboBox(*this);
    sendBounded(hwnd_, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    // Setting the selection by message sends no notification; a user's click would.
    const WPARAM notify = MAKEWPARAM(controlId(), combo ? CBN_SELCHANGE : LBN_SELCHANGE);
    PostMessageW(GetParent(hwnd_), WM_COMMAND, notify, reinterpret_cast<LPARAM>(hwnd_));
}

void Window::selectItem(const std::wstring& itemText) const {
    const auto all = items();
    const auto found = std::find(all.begin(), all.end(), itemText);
    if (found == all.end()) throw HarnessError(L"no list item \"" + itemText + L"\"");
    selectItem(static_cast<int>(found - all.begin()));
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
    throw HarnessError(L"no " + describe(query) + L" in window \"" + parent.text() + L"\"");
}

struct TopLevelSearch {
    DWORD processId;
    const WindowQuery* query;
    std::vector<Window> found;
};

static BOOL CALLBACK collectTopLevel(HWND hwnd, LPARAM param) {
    auto& search = *reinterpret_cast<TopLevelSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search.processId) return TRUE;
    const Window window(hwnd);
    const auto& query = *search.query;
    if (query.visibleOnly && !window.visible()) return TRUE;
    if (query.className && window.className() != *query.className) return TRUE;
    if (query.title && window.text() != *query.title) return TRUE;
    search.found.push_back(window);
    return TRUE;
}

std::vector<Window> topLevelWindows(DWORD processId, const WindowQuery& query) {
    TopLevelSearch search{processId, &query, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

Window waitForWindow(DWORD processId, const WindowQuery& query, Millis timeout) {
    std::vector<Window> found;
    waitUntil([&] { return !(found = topLevelWindows(processId, query)).empty(); }, timeout);
    if (!found.empty()) return found.front();
    std::wstring present;
    for (const auto& window : topLevelWindows(processId, {.visibleOnly = false}))
        present += L" [" + window.className() + L" \"" + window.text() + L"\"]";
    throw HarnessError(L"timed out waiting for " + describe(query) + L"; the process has:" +
                       present);
}

bool waitForTitle(const Window& window, const std::wstring& title, Millis timeout) {
    return waitUntil([&] { return window.exists() && window.text() == title; }, timeout);
}

bool waitForGone(const Window& window, Millis timeout) {
    return waitUntil([&] { return !window.exists(); }, timeout);
}

// Quotes one argument so CommandLineToArgvW gives it back unchanged.
static std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// The test's environment with the overrides applied, as a CreateProcess block.
static std::wstring environmentBlock(
    const std::vector<std::pair<std::wstring, std::wstring>>& overrides) {
    std::map<std::wstring, std::wstring> variables;
    const common::win32::unique_environment_strings strings(GetEnvironmentStringsW());
    for (const wchar_t* entry = strings.get(); *entry; entry += wcslen(entry) + 1) {
        const std::wstring line = entry;
        const auto equals = line.find(L'=', 1);  // "=C:=C:\..." entries start with '='
        if (equals == std::wstring::npos) continue;
        variables[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const auto& [name, value] : overrides) {
        if (value.empty())
            variables.erase(name);
        else
            variables[name] = value;
    }
    std::wstring block;
    for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
    return block + L'\0';
}

Process Process::start(const std::wstring& program, const LaunchOptions& options) {
    std::wstring commandLine = quoteArgument(program);
    for (const auto& argument : options.arguments) commandLine += L" " + quoteArgument(argument);
    std::wstring environment;
    if (!options.environment.empty()) environment = environmentBlock(options.environment);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(
        program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
        environment.empty() ? nullptr : environment.data(),
        options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(), &startup,
        &info);
    if (!started)
        throw HarnessError(L"cannot start " + program + L" (error " +
                           std::to_wstring(GetLastError()) + L")");
    const common::win32::unique_handle thread(info.hThread);
    common::win32::unique_handle process(info.hProcess);
    // Lets the window lookups succeed as soon as the program has set itself up.
    WaitForInputIdle(process.get(), 10000);
    return Process(std::move(process), info.dwProcessId);
}

Process::~Process() {
    if (process_ && running()) kill();
}

bool Process::running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

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
    std::optional<Window> found;
    // Stops early when the program has ended: its window will not come.
    waitUntil(
        [&] {
            const auto windows = topLevelWindows(id_, query);
            if (!windows.empty()) found = windows.front();
            return found.has_value() || !running();
        },
        timeout);
    if (found) return *found;
    if (const auto code = waitForExit(Millis{0}))
        throw HarnessError(L"the program ended (exit code 0x" + hex(*code) +
                           L") before showing a " + describe(query));
    return ui_harness::waitForWindow(id_, query, Millis{0});  // throws, listing what is there
}

constexpr int kMessageTextId = 0xFFFF;

static std::wstring messageText(const Window& dialog) {
    if (auto text = tryFindControl(dialog, {.id = kMessageTextId, .className = L"Static"}))
        if (!text->text().empty()) return text->text();
    for (const auto& control : findControls(dialog, {.className = L"Static"}))
        if (!control.text().empty()) return control.text();
    return {};
}

static MessageBoxView readMessageBox(const Window& dialog) {
    MessageBoxView view{dialog, dialog.text(), messageText(dialog), {}};
    for (const auto& button : findControls(dialog, {.className = L"Button", .visibleOnly = true}))
        view.buttons.push_back(button.text());
    return view;
}

void MessageBoxView::press(const std::wstring& buttonText) const {
    for (const auto& button : findControls(window, {.className = L"Button", .visibleOnly = true})) {
        if (withoutAmpersands(button.text()) == withoutAmpersands(buttonText)) {
            button.click();
            return;
        }
    }
    throw HarnessError(L"message box \"" + caption + L"\" has no button \"" + buttonText + L"\"");
}

std::optional<MessageBoxView> tryWaitForMessageBox(DWORD processId,
                                                   const std::optional<std::wstring>& caption,
                                                   Millis timeout) {
    std::optional<MessageBoxView> found;
    waitUntil(
        [&] {
            for (const auto& dialog :
                 topLevelWindows(processId, {.title = caption, .className = L"#32770"})) {
                auto view = readMessageBox(dialog);
                // A dialog still being filled has no text yet.
                if (!view.text.empty() && !view.buttons.empty()) {
                    found = std::move(view);
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

MessageBoxView waitForMessageBox(DWORD processId, const std::optional<std::wstring>& caption,
                                 Millis timeout) {
    if (auto found = tryWaitForMessageBox(processId, caption, timeout)) return *found;
    throw HarnessError(L"timed out waiting for a message box" +
                       (caption ? L" \"" + *caption + L"\"" : std::wstring()));
}

// The explorer-style dialog: file name is a combo box (cmb13) whose edit
// child takes the text; old-style and some builds use a plain edit (edt1).
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

static std::optional<Window> fileNameField(const Window& dialog) {
    if (auto combo = tryFindControl(dialog, {.id = kFileNameCombo})) {
        if (auto edit = tryFindControl(*combo, {.className = L"Edit"})) return edit;
        return combo;
    }
    return tryFindControl(dialog, {.id = kFileNameEdit});
}

void chooseFileInOpenDialog(DWORD processId, const std::wstring& windowsPath, Millis timeout) {
    std::optional<Window> dialog;
    std::optional<Window> field;
    waitUntil(
        [&] {
            for (const auto& candidate : topLevelWindows(processId, {.className = L"#32770"})) {
                if ((field = fileNameField(candidate))) {
                    dialog = candidate;
                    return true;
                }
            }
            return false;
        },
        timeout);
    if (!dialog) throw HarnessError("timed out waiting for the file-open dialog");
    field->setText(windowsPath);
    // IDOK is the Open button; posting WM_COMMAND works whatever its caption.
    PostMessageW(dialog->handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog->handle(), IDOK)));
    if (!waitForGone(*dialog, timeout))
        throw HarnessError(L"the file-open dialog did not accept " + windowsPath);
}

}  // namespace ui_harness
