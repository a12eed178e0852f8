#include "framework/win/internet.h"
#include "framework/win/message_box.h"
#include "support/message_box_recorder.h"

#include <gtest/gtest.h>

TEST(MessageBoxTest, HookReceivesTextCaptionTypeAndOwnerAndAnswersForTheUser)
{
    CMessageBoxRecorder recorder(IDCANCEL);
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    EXPECT_EQ(AfxMessageBox("Unable to connect to proxy server", MB_OK | MB_ICONSTOP, "Error", owner), IDCANCEL);
    EXPECT_EQ(AfxMessageBox("Proxy List Updated"), IDCANCEL);
    AfxMessageBox("Please enter a proxy address", MB_OK, "WARNING");
    AfxMessageBox("Please choose another Proxy!", MB_OK, "ERROR");

    auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, "Unable to connect to proxy server");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].nType, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_EQ(boxes[0].hWndOwner, owner);
    EXPECT_EQ(boxes[1].text, "Proxy List Updated");
    EXPECT_EQ(boxes[1].caption, "") << "a box without a caption has the empty caption";
    // A box that names no icon gets its caption's: its own icon stays.
    EXPECT_EQ(boxes[1].nType, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(boxes[1].hWndOwner, nullptr);
    EXPECT_EQ(boxes[2].nType, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(boxes[3].nType, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

TEST(MessageBoxTest, NestedRecordersRestoreThePreviousHook)
{
    CMessageBoxRecorder outer;
    {
        CMessageBoxRecorder inner;
        AfxMessageBox("inner");
        EXPECT_EQ(inner.Boxes().size(), 1u);
    }
    AfxMessageBox("outer");
    ASSERT_EQ(outer.Boxes().size(), 1u);
    EXPECT_EQ(outer.Boxes()[0].text, "outer");
}

TEST(MessageBoxTest, ReportExceptionShowsTheExceptionsOwnTextUnderError)
{
    CMessageBoxRecorder recorder;
    CFileException fileError(CFileException::accessDenied, 5, "C:\\proxylist.txt");
    AfxReportException(&fileError);
    CInternetException netError(ERROR_INTERNET_CANNOT_CONNECT);
    AfxReportException(&netError);
    AfxReportException(nullptr);

    auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    char expected[512];
    ASSERT_TRUE(fileError.GetErrorMessage(expected, sizeof expected));
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_FALSE(boxes[1].text.empty());
    EXPECT_EQ(boxes[1].text.find('\n'), std::string::npos) << "no line end from the message table";
    EXPECT_FALSE(boxes[2].text.empty());
}
