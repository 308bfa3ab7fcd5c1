#include "commands.h"

#include <algorithm>
#include <initializer_list>

namespace {

Payload payloadOf(std::initializer_list<std::uint8_t> head, const std::uint8_t* tail = nullptr,
                  std::size_t tailSize = 0) {
    Payload payload;
    std::copy(head.begin(), head.end(), payload.bytes.begin());
    std::copy_n(tail, tailSize, payload.bytes.begin() + head.size());
    payload.length = static_cast<std::uint8_t>(head.size() + tailSize);
    return payload;
}

}  // namespace

Payload makeWritePayload(const std::uint8_t* block, std::size_t blockSize) {
    return payloadOf({CmdWrite}, block, blockSize);
}

Payload makeQueryVersionPayload() { return payloadOf({CmdQueryVersion}); }

Payload makeEepromWritePayload(const std::uint8_t* data, std::uint8_t address, std::uint8_t count) {
    return payloadOf({CmdEepromWrite, address, count}, data, count);
}

Payload makeEepromReadPayload(std::uint8_t address, std::uint8_t count) {
    return payloadOf({CmdEepromRead, address, count});
}

Payload makeEnterBootloaderPayload() { return payloadOf({CmdEnterBootloader}); }
