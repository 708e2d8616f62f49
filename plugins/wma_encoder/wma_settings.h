// The settings of the WMA encoder: the sets it offers, the two numbers it reports to the
// console (GetValue 55 and 56) and reads back from the service, and where it keeps them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace orvanta::wma {

struct EncoderSettings {
    int32_t bitrate = 128000;  // bits per second
    int32_t sampleRate = 44100;
    int32_t channels = 2;

    bool operator==(const EncoderSettings&) const = default;
};

// What the settings dialog offers. The codec takes every combination of these (its block size
// grows with the bitrate and shrinks with the rate, and stays within its limits for all).
std::span<const int32_t> Bitrates();
std::span<const int32_t> SampleRates();
std::span<const int32_t> ChannelCounts();

bool IsOffered(const EncoderSettings& settings);

// GetValue 55 is the bitrate; 56 is the sample rate times ten plus the channel count.
int32_t Value55(const EncoderSettings& settings);
int32_t Value56(const EncoderSettings& settings);
// The settings two values stand for; zero in a value keeps the default for its part. Values
// that name no offered setting are carried as they are, for the encoder to refuse.
EncoderSettings FromValues(int32_t value55, int32_t value56);

// The settings stored below `key` of the user's registry (subkey "OVWmaEnc"), the defaults for
// anything missing or not offered.
EncoderSettings LoadSettings(const std::string& key);
bool SaveSettings(const std::string& key, const EncoderSettings& settings);

}  // namespace orvanta::wma
