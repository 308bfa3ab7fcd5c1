// hbvtool list: the system's HID interfaces as the library's own search sees them.
#include "tool_commands.h"

#include "console.h"
#include "report_lines.h"
#include "text_format.h"
#include "texts.h"
#include "win32_hid_backend.h"

ExitStatus listInterfaces() {
    Win32HidBackend backend;
    const std::unique_ptr<HidInterfaceList> list = backend.listPresentInterfaces();
    if (!list) {
        printErrorLine(texts::kHidListFailed);
        return kFailed;
    }
    unsigned interfaces = 0;
    unsigned boards = 0;
    for (;; ++interfaces) {
        HidInterface found;
        if (!list->openInterface(interfaces, found)) break;
        const bool opened = found.device != nullptr;
        printLine(interfaceLine(opened, found.vendorId, found.productId, found.path));
        if (opened && boardModelOf(found.vendorId, found.productId)) ++boards;
    }
    if (interfaces == 0) printLine(texts::kNoInterfaces);
    if (boards == 0) {
        printLine(texts::kNoBoardListed);
        printErrorLine(texts::kBoardNotFound);
        return kFailed;
    }
    printLine(formatText(texts::kBoardsListed, boards));
    return kSucceeded;
}
