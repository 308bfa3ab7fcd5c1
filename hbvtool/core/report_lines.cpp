#include "report_lines.h"

#include "hex_text.h"
#include "text_format.h"
#include "texts.h"

#include <algorithm>

const BoardVariant* boardModelOf(std::uint16_t vendorId, std::uint16_t productId) {
    for (const BoardVariant* model : {&kHbv7, &kHbv5}) {
        if (vendorId == model->vendorId && productId == model->productId) return model;
    }
    return nullptr;
}

std::string interfaceLine(bool opened, std::uint16_t vendorId, std::uint16_t productId,
                          const std::string& path) {
    if (!opened) {
        return std::string(texts::kUnknownId) + ":" + texts::kUnknownId + "  " + path +
               texts::kNotOpened;
    }
    std::string line = formatText("0x%04X:0x%04X  ", vendorId, productId) + path;
    if (const BoardVariant* model = boardModelOf(vendorId, productId)) {
        line += formatText(texts::kBoardMark, model->name);
    }
    return line;
}

std::string packetLine(std::uint32_t milliseconds, const std::uint8_t* bytes, std::size_t count) {
    return formatText("%6u.%03u  ", milliseconds / 1000, milliseconds % 1000) +
           toHex(bytes, std::min(count, kReportDataSize));
}

ReportData reportDataOfPacket(const std::uint8_t* bytes, std::size_t count) {
    ReportData data{};
    count = std::min(count, kReportDataSize);
    std::copy(bytes, bytes + count, data.begin());
    if (count < kReportDataSize) data[kReportDataSize - 1] = static_cast<std::uint8_t>(count);
    return data;
}
