// The real WMA encoder plug-in, loaded from the program folder the way a service module loads
// it: what it tells the console, the settings it takes and refuses, and packets that ffprobe
// and ffmpeg read as WMA version 2 at the chosen bitrate once put in an ASF file.
#include "platform/registry_hive.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <orvanta/plugin.h>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

namespace fs = std::filesystem;

struct Packet {
    std::vector<uint8_t> bytes;
    int64_t pts;
};

void Collect(void* context, const uint8_t* data, int32_t size, int64_t pts) {
    static_cast<std::vector<Packet>*>(context)->push_back(
        Packet{std::vector<uint8_t>(data, data + size), pts});
}

class WmaEncoderPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str(), 1);
        const std::string path = std::string(ORV_PROGRAM_DIR) + "/ovwmaenc.so";
        m_library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << ::dlerror();
        auto factory =
            reinterpret_cast<OrvantaPluginFactory>(::dlsym(m_library, ORVANTA_PLUGIN_FACTORY_NAME));
        ASSERT_NE(factory, nullptr);
        m_plugin = factory("Software\\KELVO\\OVServer\\Plugins");
        ASSERT_NE(m_plugin, nullptr);
    }
    void TearDown() override {
        if (m_plugin != nullptr) {
            m_plugin->Destroy(ORVANTA_DESTROY_FREE);
        }
        if (m_library != nullptr) {
            ::dlclose(m_library);
        }
        ::unsetenv("ORVANTA_USER_HIVE");
    }

    // `seconds` of a 440 Hz tone, encoded whole and flushed.
    std::vector<Packet> EncodeTone(const OrvantaEncoderFormat& format, int seconds) {
        std::vector<Packet> packets;
        const int chunk = 1000;  // not a multiple of the codec's frame: the plug-in buffers
        std::vector<int16_t> pcm(static_cast<size_t>(chunk) * format.channels);
        int64_t at = 0;
        const int64_t total = static_cast<int64_t>(format.sampleRate) * seconds;
        while (at < total) {
            for (int i = 0; i < chunk; ++i) {
                const double t = static_cast<double>(at + i) / format.sampleRate;
                const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * t));
                for (int c = 0; c < format.channels; ++c) {
                    pcm[static_cast<size_t>(i * format.channels + c)] = v;
                }
            }
            EXPECT_GE(m_plugin->EncodePcm(pcm.data(), chunk, Collect, &packets), 0);
            at += chunk;
        }
        EXPECT_GE(m_plugin->EncodePcm(nullptr, 0, Collect, &packets), 0);
        return packets;
    }

    orvanta::test::TempDir m_dir;
    void* m_library = nullptr;
    IPlugin* m_plugin = nullptr;
};

// Standard output and error of a finished tool, together; a tool that hangs is killed.
std::string RunCapture(const orvanta::test::TempDir& dir, const std::vector<std::string>& command) {
    const std::string out = dir.File("tool.out");
    orvanta::test::Process tool(command[0], {command.begin() + 1, command.end()}, out, out);
    EXPECT_TRUE(tool.Started());
    EXPECT_EQ(tool.Wait(60000), 0) << command[0];
    return orvanta::test::ReadFile(out);
}

// The packets in an ASF file, written by the codec library's own muxer.
bool WriteAsf(const fs::path& path, const OrvantaEncoderFormat& format,
              const std::vector<Packet>& packets) {
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "asf", path.c_str()) < 0) {
        return false;
    }
    AVStream* stream = avformat_new_stream(out, nullptr);
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_WMAV2;
    par->codec_tag = format.formatTag;
    par->sample_rate = format.sampleRate;
    av_channel_layout_default(&par->ch_layout, format.channels);
    par->bit_rate = format.bitrate;
    par->block_align = format.blockAlign;
    par->frame_size = format.frameSamples;
    par->extradata = static_cast<uint8_t*>(
        av_mallocz(static_cast<size_t>(format.extraSize) + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(par->extradata, format.extra, static_cast<size_t>(format.extraSize));
    par->extradata_size = format.extraSize;
    stream->time_base = AVRational{1, format.sampleRate};
    bool ok = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
              avformat_write_header(out, nullptr) >= 0;
    for (size_t i = 0; ok && i < packets.size(); ++i) {
        AVPacket* pkt = av_packet_alloc();
        ok = av_new_packet(pkt, static_cast<int>(packets[i].bytes.size())) >= 0;
        if (ok) {
            std::memcpy(pkt->data, packets[i].bytes.data(), packets[i].bytes.size());
            pkt->pts = pkt->dts = packets[i].pts;
            pkt->duration = format.frameSamples;
            pkt->stream_index = 0;
            av_packet_rescale_ts(pkt, AVRational{1, format.sampleRate}, stream->time_base);
            ok = av_interleaved_write_frame(out, pkt) >= 0;
        }
        av_packet_free(&pkt);
    }
    ok = ok && av_write_trailer(out) >= 0;
    avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

TEST_F(WmaEncoderPlugin, DescribesItselfAsTheEncoderTheFormatPageLists) {
    PluginDescriptor d;
    std::memset(&d, 0x5a, sizeof d);
    m_plugin->Describe(&d);
    EXPECT_EQ(d.kind, ORVANTA_PLUGIN_KIND_WMA_ENCODER);
    // The Format page asks for kind 110 with masks 4, 8, 1 and 4: every AND must be non-zero.
    EXPECT_NE(d.capsA & 4u, 0u);
    EXPECT_NE(d.capsB & 8u, 0u);
    EXPECT_NE(d.capsC & 1u, 0u);
    EXPECT_NE(d.capsD & 4u, 0u);
    EXPECT_NE(std::string(d.displayName, strnlen(d.displayName, sizeof d.displayName)), "");
    EXPECT_LT(strnlen(d.displayName, sizeof d.displayName), sizeof d.displayName);
    EXPECT_EQ(d.fileName[0], '\0');  // the console's to write
}

TEST_F(WmaEncoderPlugin, ReportsStoredSettingsAsValues55And56) {
    int32_t v55 = 0;
    int32_t v56 = 0;
    ASSERT_EQ(m_plugin->GetValue(ORVANTA_PLUGIN_VALUE_55, &v55), 1);
    ASSERT_EQ(m_plugin->GetValue(ORVANTA_PLUGIN_VALUE_56, &v56), 1);
    EXPECT_EQ(v55, 128000);  // nothing stored yet: the defaults
    EXPECT_EQ(v56, 441002);

    using namespace orvanta::platform;
    const auto dword = [](uint32_t n) {
        RegistryValue v{kRegDword, std::vector<uint8_t>(4)};
        std::memcpy(v.data.data(), &n, 4);
        return v;
    };
    const std::string key = "Software\\KELVO\\OVServer\\Plugins\\OVWmaEnc";
    ASSERT_TRUE(RegistrySetValue(RegistryRoot::CurrentUser, key, "Bitrate", dword(64000)));
    ASSERT_TRUE(RegistrySetValue(RegistryRoot::CurrentUser, key, "SampleRate", dword(32000)));
    ASSERT_TRUE(RegistrySetValue(RegistryRoot::CurrentUser, key, "Channels", dword(1)));
    m_plugin->GetValue(ORVANTA_PLUGIN_VALUE_55, &v55);
    m_plugin->GetValue(ORVANTA_PLUGIN_VALUE_56, &v56);
    EXPECT_EQ(v55, 64000);
    EXPECT_EQ(v56, 320001);

    // A hand-edited value the encoder does not offer falls back to the defaults.
    ASSERT_TRUE(RegistrySetValue(RegistryRoot::CurrentUser, key, "Bitrate", dword(12345)));
    m_plugin->GetValue(ORVANTA_PLUGIN_VALUE_55, &v55);
    EXPECT_EQ(v55, 128000);
    EXPECT_EQ(m_plugin->GetValue(57, &v55), 0);
}

TEST_F(WmaEncoderPlugin, RefusesSettingsItCannotEncodeAndCallsWhileClosed) {
    OrvantaEncoderFormat format{};
    std::vector<Packet> packets;
    const int16_t pcm[4] = {};
    EXPECT_EQ(m_plugin->EncodePcm(pcm, 2, Collect, &packets), -1);  // not open
    for (const OrvantaEncoderSettings bad :
         {OrvantaEncoderSettings{12345, 441002}, OrvantaEncoderSettings{100000, 441002},
          OrvantaEncoderSettings{128000, 441003}, OrvantaEncoderSettings{128000, 960002},
          OrvantaEncoderSettings{-1, -1}}) {
        EXPECT_EQ(m_plugin->OpenEncoder(&bad, &format), 0) << bad.value55 << " " << bad.value56;
    }
    EXPECT_EQ(m_plugin->OpenEncoder(nullptr, &format), 0);
    EXPECT_EQ(m_plugin->CloseEncoder(), 1);
    EXPECT_TRUE(packets.empty());
}

TEST_F(WmaEncoderPlugin, EncodesPcmThatFfprobeAndFfmpegReadAsWmaV2AtTheChosenBitrate) {
    struct Case {
        OrvantaEncoderSettings settings;
        int bitrate, rate, channels;
    };
    for (const Case& c : {Case{{96000, 441002}, 96000, 44100, 2},
                          Case{{32000, 220501}, 32000, 22050, 1}, Case{{0, 0}, 128000, 44100, 2}}) {
        SCOPED_TRACE(c.bitrate);
        OrvantaEncoderFormat format{};
        ASSERT_EQ(m_plugin->OpenEncoder(&c.settings, &format), 1);
        EXPECT_EQ(format.formatTag, 0x0161);
        EXPECT_EQ(format.bitrate, c.bitrate);
        EXPECT_EQ(format.sampleRate, c.rate);
        EXPECT_EQ(format.channels, c.channels);
        ASSERT_GT(format.blockAlign, 0);
        ASSERT_GT(format.frameSamples, 0);

        const std::vector<Packet> packets = EncodeTone(format, 10);
        ASSERT_FALSE(packets.empty());
        for (const Packet& p : packets) {
            ASSERT_EQ(static_cast<int>(p.bytes.size()), format.blockAlign);
        }
        // Ten seconds of input, each packet one whole frame, the last padded.
        const int64_t frames =
            (static_cast<int64_t>(c.rate) * 10 + format.frameSamples - 1) / format.frameSamples;
        EXPECT_EQ(static_cast<int64_t>(packets.size()), frames);
        EXPECT_EQ(packets[1].pts - packets[0].pts, format.frameSamples);

        const fs::path file = m_dir.File("tone-" + std::to_string(c.bitrate) + ".wma");
        ASSERT_TRUE(WriteAsf(file, format, packets));
        const auto probe =
            RunCapture(m_dir, {"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                               "stream=codec_name,bit_rate,sample_rate,channels", "-of",
                               "default=nw=1", file.string()});
        EXPECT_NE(probe.find("codec_name=wmav2"), std::string::npos) << probe;
        EXPECT_NE(probe.find("bit_rate=" + std::to_string(c.bitrate)), std::string::npos) << probe;
        EXPECT_NE(probe.find("sample_rate=" + std::to_string(c.rate)), std::string::npos);
        EXPECT_NE(probe.find("channels=" + std::to_string(c.channels)), std::string::npos);
        // A full decode that reports no error and lasts the ten seconds.
        const auto decode = RunCapture(
            m_dir, {"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-f", "null", "-"});
        EXPECT_EQ(decode, "") << decode;
        const auto duration =
            RunCapture(m_dir, {"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                               "default=nw=1:nk=1", file.string()});
        EXPECT_NEAR(std::atof(duration.c_str()), 10.0, 0.3) << duration;
        EXPECT_EQ(m_plugin->CloseEncoder(), 1);
    }
}

}  // namespace
