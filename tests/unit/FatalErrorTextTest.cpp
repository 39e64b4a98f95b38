// The text of the fatal error box.
#include "app/FatalErrorText.h"

#include "ui/UiTexts.h"

#include <gtest/gtest.h>

#include <string>

namespace picbox {
namespace {

const std::string kHeading = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"; // 运行时出错!
const std::string kMessageLabel = "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"; // 错误信息：
const std::string kCodeLabel = "\r\n\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";    // 错误代码：

TEST(FatalErrorText, RefusedAllocationOf1000Bytes)
{
    const AllocationFailedMessage message(1000);
    // 分配 1000 字节内存失败!
    EXPECT_EQ(message.View(), "\xB7\xD6\xC5\xE4 1000 \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!");
    const FatalErrorText text(message.View(), 0, 0, 0);
    EXPECT_EQ(text.View(), kHeading + kMessageLabel + std::string(message.View()) + "\r\n" +
                               "\r\n0, 0\r\n");
}

TEST(FatalErrorText, PartsAppearOnlyWhenGiven)
{
    EXPECT_EQ(FatalErrorText("", 0, 0, 0).View(), kHeading + "\r\n0, 0\r\n");
    EXPECT_EQ(FatalErrorText("", -5, 1, 0).View(), kHeading + kCodeLabel + "-5\r\n\r\n1, 0\r\n");
    EXPECT_EQ(FatalErrorText(texts::kMainWindowFailed, 2147483647, 1, 0).View(),
              kHeading + kCodeLabel + "2147483647\r\n" + kMessageLabel +
                  texts::kMainWindowFailed + "\r\n\r\n1, 0\r\n");
    EXPECT_EQ(AllocationFailedMessage(-2147483647 - 1).View(),
              "\xB7\xD6\xC5\xE4 -2147483648 \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!");
}

TEST(FatalErrorText, AnOverlongMessageIsCutNotOverrun)
{
    const std::string longMessage(5000, 'x');
    const FatalErrorText text(longMessage, 0, 0, 0);
    EXPECT_EQ(text.View().size(), 1023u);
    EXPECT_EQ(text.CStr()[1023], '\0');
    EXPECT_EQ(text.View().substr(0, kHeading.size()), kHeading);
}

} // namespace
} // namespace picbox
