#include "app/help_list.h"

#include "platform/format.h"

namespace {

// Printed exactly as users have always seen it, blanks and tabs included.
constexpr const Char16* kHelpLines[] = {
    u"\n",
    u"        /ad -> Autoload Disable                  \n",
    u"        /an -> Autoload oN                       \n",
    u"        /af -> Autoload oFF                      \n",
    u"        /bi -> flash burn in test, syntax: tarnwick filename1 /b filename2\n",
    u"        /br -> flash burn in test, It count the file FlashTimes.NSH \n",
    u"        /cx -> wait x(0~9) second(s) to do Coldboot.  \n",
    u"        /f  -> assign update Flash size 0:64K, 2: 128K, 4:192K, 8:256K\n",
    u"        /e  -> erase EC only \n",
    u"        /fx -> assign ROM size to write, 1: 64K, 2: 128K, 4: 192K, 8: 256K\n",
    u"        /g  -> flash will reserv Gsensor Data ROM for IT8380 \n",
    u"        /hx -> wait x(0~9) second(s) to do sHutdown.  \n",
    u"        /i  -> don't check EC ID code.           \n",
    u"        /k  -> sKip check the AC adapter.        \n",
    u"        /l  -> support ITE5570\t\t\t\t\t\t       \n",
    u"        /o  -> flash i/O port 0:60/64, 1:62/66, 2:68/6C, 3:6A/6E\n",
    u"        /p  -> stay in DOS                       \n",
    u"        /r  -> fetch EC ROM code.                \n",
    u"        /s  -> update Special ROM type, as MXIC  \n",
    u"        /u  -> plugged QUIETBUS tool. as QUIETBUS.exe\n",
    u"        /v  -> for VPRO system (PS: time >= 4 Second) \n",
    u"        /wx -> wait x(0~9) second(s) to do EC reset by watch-dog timeout only support IT8380\n",
    u"        /y  -> force to update EC ROM, it's non check project name \n",
    u"\n",
};
static_assert(sizeof(kHelpLines) / sizeof(kHelpLines[0]) == 24, "the help list has 24 lines");

}  // namespace

void PrintHelpList() {
  // Through %s so that no line is ever taken as a format.
  for (const Char16* line : kHelpLines) Print(u"%s", line);
}
