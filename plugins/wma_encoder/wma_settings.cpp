#include "wma_settings.h"

#include "platform/registry_hive.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace orvanta::wma {
namespace {

constexpr std::array<int32_t, 8> kBitrates{32000, 48000,  64000,  80000,
                                           96000, 128000, 160000, 192000};
constexpr std::array<int32_t, 4> kSampleRates{22050, 32000, 44100, 48000};
constexpr std::array<int32_t, 2> kChannels{1, 2};

constexpr const char* kSubkey = "OVWmaEnc";

bool Contains(std::span<const int32_t> set, int32_t value) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

std::optional<int32_t> ReadDword(const std::string& key, const char* name) {
    using namespace orvanta::platform;
    const std::optional<RegistryValue> value =
        RegistryQueryValue(RegistryRoot::CurrentUser, key, name);
    if (!value || value->type != kRegDword || value->data.size() != 4) {
        return std::nullopt;
    }
    uint32_t number = 0;
    std::memcpy(&number, value->data.data(), 4);
    return static_cast<int32_t>(number);
}

bool WriteDword(const std::string& key, const char* name, int32_t number) {
    using namespace orvanta::platform;
    RegistryValue value{kRegDword, std::vector<uint8_t>(4)};
    const auto bits = static_cast<uint32_t>(number);
    std::memcpy(value.data.data(), &bits, 4);
    return RegistrySetValue(RegistryRoot::CurrentUser, key, name, value);
}

std::string SettingsKey(const std::string& key) {
    return key.empty() ? kSubkey : key + "\\" + kSubkey;
}

}  // namespace

std::span<const int32_t> Bitrates() {
    return kBitrates;
}
std::span<const int32_t> SampleRates() {
    return kSampleRates;
}
std::span<const int32_t> ChannelCounts() {
    return kChannels;
}

bool IsOffered(const EncoderSettings& s) {
    return Contains(kBitrates, s.bitrate) && Contains(kSampleRates, s.sampleRate) &&
           Contains(kChannels, s.channels);
}

int32_t Value55(const EncoderSettings& s) {
    return s.bitrate;
}
int32_t Value56(const EncoderSettings& s) {
    return s.sampleRate * 10 + s.channels;
}

EncoderSettings FromValues(int32_t value55, int32_t value56) {
    EncoderSettings s;
    if (value55 != 0) {
        s.bitrate = value55;
    }
    if (value56 != 0) {
        s.sampleRate = value56 / 10;
        s.channels = value56 % 10;
    }
    return s;
}

EncoderSettings LoadSettings(const std::string& key) {
    const std::string at = SettingsKey(key);
    EncoderSettings s;
    EncoderSettings stored = s;
    stored.bitrate = ReadDword(at, "Bitrate").value_or(s.bitrate);
    stored.sampleRate = ReadDword(at, "SampleRate").value_or(s.sampleRate);
    stored.channels = ReadDword(at, "Channels").value_or(s.channels);
    return IsOffered(stored) ? stored : s;
}

bool SaveSettings(const std::string& key, const EncoderSettings& s) {
    const std::string at = SettingsKey(key);
    return WriteDword(at, "Bitrate", s.bitrate) && WriteDword(at, "SampleRate", s.sampleRate) &&
           WriteDword(at, "Channels", s.channels);
}

}  // namespace orvanta::wma
