// The handle owner and the failure texts, under Wine.
#include "common/core/failure.hpp"
#include "common/win32/com.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using common::win32::UniqueAny;

std::vector<int> closed;
void rememberClose(int handle) { closed.push_back(handle); }
using UniqueTest = UniqueAny<int, &rememberClose, -1>;

TEST(UniqueAny, ClosesEachHandleExactlyOnceOnEveryPath) {
    closed.clear();
    {
        UniqueTest scoped(1);  // closed at scope end
        UniqueTest replaced(2);
        replaced.reset(3);                      // 2 closed now
        UniqueTest moved(std::move(replaced));  // 3 owned once, by moved
        UniqueTest assigned(4);
        assigned = std::move(moved);  // 4 closed, 3 taken over
        UniqueTest released(5);
        EXPECT_EQ(released.release(), 5);  // handed out, never closed here
        UniqueTest refilled(6);
        *refilled.put() = 7;  // 6 closed before the call fills it
        UniqueTest empty;
        EXPECT_FALSE(empty);
        empty.reset();       // nothing to close
        UniqueTest zero(0);  // 0 is a handle where -1 is invalid
        EXPECT_TRUE(zero);
    }
    EXPECT_EQ(closed, (std::vector<int>{2, 4, 6, 0, 7, 3, 1}));
}

TEST(UniqueAny, RealHandlesCloseAndInvalidValuesAreNotClosed) {
    common::win32::UniqueFile missing(
        CreateFileW(L"C:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    { common::win32::UniqueHandle event(raw); }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));  // closed by the owner
}

TEST(Failure, TextNamesTheCallAndItsCode) {
    EXPECT_EQ(FAILED_STATUS(CreateFileW, ERROR_ACCESS_DENIED).text(),
              L"CreateFileW failed: error 5");
    EXPECT_EQ(FAILED_STATUS(CreateFileW, 5).about(L"C:\\x").text(),
              L"CreateFileW failed: error 5 (C:\\x)");
    EXPECT_EQ(FAILED_STATUS(MessageBoxA, 0).text(), L"MessageBoxA failed: error 0");
    EXPECT_EQ(common::stopFailure(L"Update", L"why").text(), L"Update: why");

    EXCEPINFO info{};
    info.scode = static_cast<SCODE>(0x800A0046);
    info.bstrDescription = SysAllocString(L"Permission denied");
    info.bstrSource = SysAllocString(L"Microsoft VBScript runtime error");
    const common::Failure failure =
        common::win32::invokeFailure(L"CopyFolder", DISP_E_EXCEPTION, info);
    EXPECT_EQ(failure.text(), L"CopyFolder failed: HRESULT 0x800a0046 (Permission denied)");
    EXPECT_EQ(info.bstrDescription, nullptr);  // taken over and freed
}

}  // namespace
