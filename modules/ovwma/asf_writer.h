// The ASF stream a WMA station serves: a header describing one WMA audio stream (with the title
// on air in its content description) and one data packet per encoded WMA block.
#pragma once

#include "stream/asf.h"

#include <cstdint>
#include <memory>
#include <orvanta/plugin.h>
#include <string>
#include <string_view>

namespace orvanta::wma {

class AsfWriter {
public:
    // `fileId` names the stream; it stays the same for one run, so players joining on either
    // side of a change of source see one stream.
    AsfWriter(const OrvantaEncoderFormat& format, const engine::AsfGuid& fileId);

    // The header object and the data object's head, for listeners joining now.
    std::string Header(std::string_view title) const;
    // Every packet has this size: one block of the encoder and the packet's own head.
    size_t PacketBytes() const;
    // One data packet holding one encoded block, `presentationMs` after the stream began.
    std::string Packet(std::string_view block, uint32_t presentationMs, uint16_t durationMs);

private:
    OrvantaEncoderFormat m_format;
    engine::AsfGuid m_fileId;
    uint8_t m_objectNumber = 0;
};

}  // namespace orvanta::wma
