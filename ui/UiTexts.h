// Every text the program shows or uses, as GBK bytes (code page 936); readable text alongside.
#pragma once

namespace picbox::texts {

// Button captions.
inline constexpr char kButton1Caption[] = "\xBB\xF1\xC8\xA1\xCD\xBC\xC6\xAC"; // 获取图片
inline constexpr char kButton2Caption[] = "\xCF\xC2\xD4\xD8";                 // 下载
inline constexpr char kButton3Caption[] = "\xB6\xFE\xB4\xCE\xD4\xAA";         // 二次元
inline constexpr char kButton4Caption[] = "\xB8\xFC\xB6\xE0\xB9\xA6\xC4\xDC"; // 更多功能

// Control names of the window description.
inline constexpr char kButton1Name[] = "\xB0\xB4\xC5\xA5" "1";            // 按钮1
inline constexpr char kButton2Name[] = "\xB0\xB4\xC5\xA5" "2";            // 按钮2
inline constexpr char kButton3Name[] = "\xB0\xB4\xC5\xA5" "3";            // 按钮3
inline constexpr char kButton4Name[] = "\xB0\xB4\xC5\xA5" "4";            // 按钮4
inline constexpr char kPictureBoxName[] = "\xCD\xBC\xC6\xAC\xBF\xF2" "1"; // 图片框1

// The fatal error box.
inline constexpr char kErrorCaption[] = "\xB4\xED\xCE\xF3";                            // 错误
inline constexpr char kErrorHeading[] = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"; // 运行时出错!\r\n
inline constexpr char kErrorCodeLabel[] = "\r\n\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA"; // \r\n错误代码：
inline constexpr char kErrorMessageLabel[] =
    "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"; // \r\n错误信息：

// The three fatal messages.
inline constexpr char kAllocationFailed[] =
    "\xB7\xD6\xC5\xE4 %d \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!"; // 分配 %d 字节内存失败!
inline constexpr char kWindowDataUnreadable[] =
    "\xD4\xD8\xC8\xEB\xB4\xB0\xBF\xDA\xC4\xA3\xB0\xE5\xCA\xFD\xBE\xDD\xB6\xCE\xB3\xF6\xB4\xED!"; // 载入窗口模板数据段出错!
inline constexpr char kMainWindowFailed[] =
    "\xD4\xD8\xC8\xEB\xC6\xF4\xB6\xAF\xB4\xB0\xBF\xDA\xCA\xA7\xB0\xDC"; // 载入启动窗口失败

// The saved picture's file name.
inline constexpr char kSavedPictureName[] = "\xCD\xBC\xC6\xAC.jpg"; // 图片.jpg

} // namespace picbox::texts
