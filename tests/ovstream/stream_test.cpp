// Source formats: MP3 and ADTS frame sync, Ogg pages and Vorbis headers, ICY metadata blocks.
// Inputs are built here (frames with zero payload, pages laid out by a small writer), so these
// tests need no encoder.
#include "stream/adts.h"
#include "stream/asf.h"
#include "stream/format_reader.h"
#include "stream/format_table.h"
#include "stream/icy_metadata.h"
#include "stream/mp3.h"
#include "stream/ogg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::engine {
namespace {

using namespace std::string_literals;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out += static_cast<char>(v);
    }
    return out;
}

std::string Le32(uint32_t v) {
    return Bytes({static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF), static_cast<int>(v >> 24)});
}

const unsigned char* U(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The four header bytes, then zeros up to `size`.
std::string Frame(std::initializer_list<int> header, size_t size) {
    std::string frame = Bytes(header);
    frame.resize(size, '\0');
    return frame;
}

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz: 417 bytes, 418 with padding (every third frame).
std::string Frames128(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += i % 3 == 0 ? Frame({0xFF, 0xFB, 0x92, 0x44}, 418)
                          : Frame({0xFF, 0xFB, 0x90, 0x44}, 417);
    }
    return out;
}

std::string Id3v2(std::string_view body) {
    const auto n = static_cast<int>(body.size());
    return Bytes({'I', 'D', '3', 4, 0, 0, (n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F,
                  n & 0x7F}) +
           std::string(body);
}

// Lays packets onto pages of at most `maxSegments` lacing values; the last packet ends its page.
struct OggWriter {
    uint32_t serial = 0x1234;
    uint32_t sequence = 0;
    size_t maxSegments = 255;
    uint64_t granule = 0;  // written on every page

    std::vector<std::string> Pages(const std::vector<std::string>& packets, int flags = 0) {
        std::vector<std::string> pages;
        std::string lacing, body;
        bool continued = false;
        const auto close = [&](bool nextContinues) {
            std::string page = "OggS"s + '\0' + static_cast<char>(flags | (continued ? 1 : 0)) +
                               Le32(static_cast<uint32_t>(granule)) +
                               Le32(static_cast<uint32_t>(granule >> 32)) + Le32(serial) +
                               Le32(sequence++) + Le32(0) + static_cast<char>(lacing.size()) +
                               lacing + body;
            page.replace(22, 4, Le32(OggCrc32(page)));
            pages.push_back(page);
            lacing.clear();
            body.clear();
            flags &= ~kOggBos;
            continued = nextContinues;
        };
        for (size_t p = 0; p < packets.size(); ++p) {
            for (size_t at = 0, length = 255; length == 255; at += 255) {
                length = std::min<size_t>(255, packets[p].size() - at);
                lacing += static_cast<char>(length);
                body += packets[p].substr(at, length);
                if (lacing.size() == maxSegments && (length == 255 || p + 1 < packets.size())) {
                    close(length == 255);
                }
            }
        }
        if (!lacing.empty()) {
            close(false);
        }
        return pages;
    }
};

std::string Comments(std::string_view magic, const std::vector<std::string>& fields,
                     std::string_view vendor = "v") {
    std::string packet = std::string(magic) + Le32(static_cast<uint32_t>(vendor.size())) +
                         std::string(vendor) + Le32(static_cast<uint32_t>(fields.size()));
    for (const std::string& field : fields) {
        packet += Le32(static_cast<uint32_t>(field.size())) + field;
    }
    return packet;
}

std::string VorbisId(int32_t nominalBitrate) {
    return "\x01vorbis"s + Le32(0) + '\x02' + Le32(44100) + Le32(0) +
           Le32(static_cast<uint32_t>(nominalBitrate)) + Le32(0) + "\xB8\x01";
}

struct OggStream {
    std::vector<std::string> headerPages;
    std::vector<std::string> audioPages;
};

// A Vorbis logical stream whose comment and setup headers span three pages; the last audio page
// ends the stream.
OggStream VorbisStream(uint32_t serial, const std::vector<std::string>& fields, int audioPages) {
    OggWriter writer{serial, 0, 3};
    OggStream stream;
    stream.headerPages = writer.Pages({VorbisId(128000)}, kOggBos);
    for (const std::string& page : writer.Pages(
             {Comments("\x03vorbis", fields) + '\x01', "\x05vorbis" + std::string(1500, 's')})) {
        stream.headerPages.push_back(page);
    }
    for (int i = 0; i < audioPages; ++i) {
        const std::string packet(300, static_cast<char>('a' + i));
        stream.audioPages.push_back(
            writer.Pages({packet, "xyz"}, i + 1 == audioPages ? kOggEos : 0)[0]);
    }
    return stream;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        out += part;
    }
    return out;
}

std::string Concat(const std::vector<MediaUnit>& units) {
    std::string out;
    for (const MediaUnit& unit : units) {
        out += unit.bytes;
    }
    return out;
}

std::vector<MediaUnit> FeedAll(FormatReader& reader, std::string_view data) {
    std::vector<MediaUnit> out;
    reader.Feed(data, out);
    return out;
}

TEST(Mp3FrameHeader, DecodesEveryVersionAndLayerAndRejectsReservedValues) {
    struct Case {
        std::string bytes;
        int version, layer, kbps, rate, channels, frameBytes, samples;
    };
    // clang-format off
    const Case cases[] = {
        {Bytes({0xFF, 0xFB, 0x90, 0x44}), 10, 3, 128, 44100, 2, 417, 1152},
        {Bytes({0xFF, 0xFB, 0x92, 0xC4}), 10, 3, 128, 44100, 1, 418, 1152},  // padded, mono
        {Bytes({0xFF, 0xF3, 0x50, 0x44}), 20, 3, 40, 22050, 2, 130, 576},
        {Bytes({0xFF, 0xFF, 0xC2, 0x44}), 10, 1, 384, 44100, 2, 420, 384},
        {Bytes({0xFF, 0xE5, 0xE8, 0x44}), 25, 2, 160, 8000, 2, 2880, 1152},
    };
    // clang-format on
    for (const Case& c : cases) {
        const auto h = ParseMp3FrameHeader(U(c.bytes), 4);
        ASSERT_TRUE(h.has_value());
        EXPECT_EQ(
            (std::vector{h->version, h->layer, h->bitrateKbps, h->sampleRate, h->channels,
                         h->frameBytes, h->samplesPerFrame}),
            (std::vector{c.version, c.layer, c.kbps, c.rate, c.channels, c.frameBytes, c.samples}));
    }
    // Bad sync, reserved version, reserved layer, free format, bitrate index 15, reserved sample
    // rate, reserved emphasis.
    for (const uint32_t bad : {0xFEFB9044u, 0xFFEB9044u, 0xFFF99044u, 0xFFFB0044u, 0xFFFBF044u,
                               0xFFFB9C44u, 0xFFFB9046u}) {
        std::string b = Le32(bad);
        std::reverse(b.begin(), b.end());
        EXPECT_FALSE(ParseMp3FrameHeader(U(b), 4)) << std::hex << bad;
    }
    EXPECT_FALSE(ParseMp3FrameHeader(U(cases[0].bytes), 3));
}

TEST(Mp3Reader, KeepsWholeFramesAndDropsEverythingElse) {
    // Junk that looks like audio (a header with nothing at frame distance, one followed by a
    // header of another sample rate, a tag declaring more than the reader skips), a tag hiding
    // two chained frame headers, a frame cut short by junk, an ID3v1 tag, a second file's tag.
    const std::string noise = Frames128(1) + "\x01\x02\x03\x04" + Frames128(1) +
                              Frame({0xFF, 0xFB, 0x94, 0x44}, 4) + "zz" +
                              Bytes({'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F});
    Mp3Reader fooled;
    EXPECT_TRUE(FeedAll(fooled, noise).empty());
    EXPECT_FALSE(fooled.SawAudio());
    const std::string tag = Id3v2(Frames128(1) + Frames128(1).substr(0, 4) + "cover");
    const std::string junk = Frames128(1) + "garbage\xFF\xFB\x90 more\xFF";
    const std::string id3v1 = "TAG" + std::string(125, 't');
    const std::string tag2 = Id3v2("TIT2 next song");
    const std::string input = noise + Frames128(3) + tag + Frames128(12) + junk + Frames128(11) +
                              id3v1 + Frames128(9) + tag2 + Frames128(14);
    const std::string audio =
        Frames128(3) + Frames128(12) + Frames128(11) + Frames128(9) + Frames128(14);

    Mp3Reader whole;
    const std::vector<MediaUnit> reference = FeedAll(whole, input);
    const std::string emitted = Concat(reference);
    // All but the open unit and the last frame, whose successor never came.
    EXPECT_EQ(emitted, audio.substr(0, emitted.size()));
    EXPECT_GT(emitted.size(), audio.size() - Mp3Reader::kUnitBytes - 418);
    EXPECT_EQ(whole.DroppedBytes(),
              noise.size() + tag.size() + junk.size() + id3v1.size() + tag2.size());
    EXPECT_TRUE(whole.SawAudio());
}

TEST(Mp3Reader, UnitsCloseBySizeOrHalfASecond) {
    // MPEG-2 layer III, 32 kbit/s, 24 kHz: 96-byte frames of 24 ms; 21 frames reach 0.5 s.
    std::string low;
    for (int i = 0; i < 50; ++i) {
        low += Frame({0xFF, 0xF3, 0x44, 0x44}, 96);
    }
    Mp3Reader reader;
    std::vector<MediaUnit> out = FeedAll(reader, low);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes.size(), 21u * 96);
    EXPECT_EQ(reader.Bitrate(), 32);
}

struct Adts {
    int rateIndex = 4;  // 44.1 kHz
    int channelConfig = 2;
    int objectType = 2;  // LC
    bool crc = false;
    bool mpeg2 = false;
};

// An ADTS frame of `length` bytes, header included, with a zero payload.
std::string AdtsFrame(size_t length, Adts a = {}) {
    const auto n = static_cast<int>(length);
    std::string frame = Bytes({0xFF, 0xF0 | (a.mpeg2 ? 8 : 0) | (a.crc ? 0 : 1),
                               (a.objectType - 1) << 6 | a.rateIndex << 2 | a.channelConfig >> 2,
                               (a.channelConfig & 3) << 6 | (n >> 11 & 3), n >> 3 & 0xFF,
                               (n & 7) << 5 | 0x1F, 0xFC});
    frame.resize(length, '\0');
    return frame;
}

// LC, 44.1 kHz, stereo, 372 bytes a frame: 128 kbit/s.
std::string AdtsFrames(int count, Adts a = {}) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += AdtsFrame(372, a);
    }
    return out;
}

TEST(AdtsFrameHeader, DecodesWhatEncodersWriteAndRejectsWhatNoneDoes) {
    const std::string lc = AdtsFrame(372);
    auto header = ParseAdtsFrameHeader(U(lc), 7);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->objectType, 2);
    EXPECT_EQ(header->sampleRate, 44100);
    EXPECT_EQ(header->channels, 2);
    EXPECT_EQ(header->frameBytes, 372);
    EXPECT_EQ(header->headerBytes, 7);
    EXPECT_EQ(header->samplesPerFrame, 1024);
    EXPECT_STREQ(AdtsCodecs(*header), "mp4a.40.2");
    EXPECT_FALSE(ParseMp3FrameHeader(U(lc), 7)) << "MPEG audio never has layer 0";
    EXPECT_FALSE(ParseAdtsFrameHeader(U(Frames128(1)), 7)) << "ADTS always has";

    // CRC-protected, MPEG-2, 5.1, two raw data blocks, the largest length.
    std::string crc =
        AdtsFrame(8191, {.rateIndex = 3, .channelConfig = 6, .crc = true, .mpeg2 = true});
    crc[6] = static_cast<char>(0xFD);
    header = ParseAdtsFrameHeader(U(crc), 9);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->headerBytes, 9);
    EXPECT_EQ(header->frameBytes, 8191);
    EXPECT_EQ(header->sampleRate, 48000);
    EXPECT_EQ(header->channels, 6);
    EXPECT_EQ(header->samplesPerFrame, 2048);
    EXPECT_TRUE(header->mpeg2);

    // HE-AAC: an LC header at the core rate, half of what the decoder puts out.
    const std::string he = AdtsFrame(200, {.rateIndex = 6});  // 24 kHz
    EXPECT_TRUE(AdtsLikelySbr(*ParseAdtsFrameHeader(U(he), 7)));
    EXPECT_STREQ(AdtsCodecs(*ParseAdtsFrameHeader(U(he), 7)), "mp4a.40.5");
    EXPECT_FALSE(AdtsLikelySbr(*ParseAdtsFrameHeader(U(lc), 7)));
    EXPECT_STREQ(
        AdtsCodecs(*ParseAdtsFrameHeader(U(AdtsFrame(200, {.rateIndex = 6, .objectType = 1})), 7)),
        "mp4a.40.1");

    for (const std::string& bad :
         {AdtsFrame(372, {.rateIndex = 13}), AdtsFrame(372, {.rateIndex = 15}),
          AdtsFrame(372, {.channelConfig = 0}), AdtsFrame(7), AdtsFrame(9, {.crc = true}),
          "\xFF\xF3" + lc.substr(2) /* layer 1 */, "\xFE\xF1" + lc.substr(2)}) {
        EXPECT_FALSE(ParseAdtsFrameHeader(U(bad), bad.size())) << std::hex << bad.substr(0, 7);
    }
    EXPECT_TRUE(ParseAdtsFrameHeader(U(AdtsFrame(8)), 8)) << "the smallest frame";
    EXPECT_FALSE(ParseAdtsFrameHeader(U(lc), 6));
}

TEST(AdtsReader, SameFramesWhereverTheBytesAreSplitThroughJunkTagsAndBadLengths) {
    // Junk that looks like audio: a header with nothing at its length, one whose length is one
    // byte long (the next header starts a byte later), one followed by another sample rate.
    const std::string noise = AdtsFrame(300) + "\x01\x02" + AdtsFrame(301).substr(0, 300) +
                              AdtsFrame(300) + AdtsFrame(300, {.rateIndex = 3}) + "zz";
    AdtsReader fooled;
    EXPECT_TRUE(FeedAll(fooled, noise).empty());
    EXPECT_FALSE(fooled.SawAudio());

    const std::string crc = AdtsFrames(6, {.crc = true});
    const std::string mono = AdtsFrames(5, {.channelConfig = 1});
    const std::string tag = Id3v2(AdtsFrames(2) + "cover");
    const std::string junk = AdtsFrames(1) + "garbage\xFF\xF1 more\xFF";
    const std::string input =
        noise + AdtsFrames(4) + tag + AdtsFrames(12) + junk + crc + mono + AdtsFrames(14);
    const std::string audio = AdtsFrames(4) + AdtsFrames(12) + crc + mono + AdtsFrames(14);

    AdtsReader whole;
    const std::vector<MediaUnit> reference = FeedAll(whole, input);
    const std::string emitted = Concat(reference);
    // All but the open unit and the last frame, whose successor never came.
    EXPECT_EQ(emitted, audio.substr(0, emitted.size()));
    EXPECT_GT(emitted.size(), audio.size() - AdtsReader::kUnitBytes - 372);
    EXPECT_EQ(whole.DroppedBytes(), noise.size() + tag.size() + junk.size());
    EXPECT_TRUE(whole.SawAudio());
    EXPECT_EQ(whole.Channels(), 2);
    EXPECT_EQ(whole.SampleRate(), 44100);
    for (const MediaUnit& unit : reference) {
        EXPECT_TRUE(unit.syncPoint);
        EXPECT_EQ(unit.bytes.substr(0, 1), "\xFF");
    }
    for (size_t split = 1; split < input.size(); split += 97) {
        AdtsReader reader;
        std::vector<MediaUnit> units;
        reader.Feed(std::string_view(input).substr(0, split), units);
        reader.Feed(std::string_view(input).substr(split), units);
        ASSERT_EQ(units.size(), reference.size()) << split;
        EXPECT_EQ(Concat(units), emitted) << split;
        EXPECT_EQ(reader.DroppedBytes(), whole.DroppedBytes()) << split;
    }
}

TEST(AdtsReader, MeasuresTheBitrateAndClosesUnitsByTime) {
    // 120-byte frames of 1024 samples at 44.1 kHz: 41 kbit/s; 22 frames reach 0.5 s.
    AdtsReader reader;
    std::string low;
    for (int i = 0; i < 50; ++i) {
        low += AdtsFrame(120);
    }
    const std::vector<MediaUnit> out = FeedAll(reader, low);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes.size(), 22u * 120);
    EXPECT_EQ(reader.Bitrate(), 41);
    AdtsReader full;
    FeedAll(full, AdtsFrames(500));  // past one 10 s window
    EXPECT_EQ(full.Bitrate(), 128);
}

TEST(OggPage, ParsesARealPageAndRejectsDamage) {
    // The identification page of a stream written by libvorbis.
    const std::string real = Bytes(
        {0x4f, 0x67, 0x67, 0x53, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xbf,
         0xe7, 0x33, 0x63, 0x00, 0x00, 0x00, 0x00, 0x80, 0x58, 0xf3, 0x7b, 0x01, 0x1e, 0x01, 0x76,
         0x6f, 0x72, 0x62, 0x69, 0x73, 0x00, 0x00, 0x00, 0x00, 0x01, 0x44, 0xac, 0x00, 0x00, 0xff,
         0xff, 0xff, 0xff, 0x00, 0x77, 0x01, 0x00, 0xff, 0xff, 0xff, 0xff, 0xb8, 0x01});
    OggPage page;
    const std::string followed = real + "OggS";
    ASSERT_EQ(ParseOggPage(followed, page), OggParse::kPage);
    EXPECT_EQ(page.size, real.size());
    EXPECT_EQ(page.flags, kOggBos);
    EXPECT_EQ(page.serial, 0x6333e7bfu);
    EXPECT_EQ(page.body.substr(0, 7), "\x01vorbis");
    std::string zeroed = real;
    zeroed.replace(22, 4, std::string(4, '\0'));
    EXPECT_EQ(OggCrc32(zeroed), 0x7bf35880u);  // so the pages the tests build are right too

    for (size_t n = 0; n < real.size(); ++n) {
        EXPECT_EQ(ParseOggPage(std::string_view(real).substr(0, n), page), OggParse::kNeedMore);
    }
    for (const size_t at : {4u, 40u}) {  // version, body
        std::string damaged = real;
        damaged[at] ^= 1;
        EXPECT_EQ(ParseOggPage(damaged, page), OggParse::kInvalid);
    }
}

TEST(OggReader, ChainedStreamsThroughDamageAndJunk) {
    const OggStream a = VorbisStream(1, {"title=Song", "ARTIST=Band", "TITLE=ignored"}, 5);
    const OggStream b = VorbisStream(2, {"TITLE=Second", "ARTIST=B\xE9"}, 3);
    const std::string aHeaders = Join(a.headerPages);
    const std::string bHeaders = Join(b.headerPages);
    OggReader reader;
    std::vector<MediaUnit> out = FeedAll(reader, aHeaders.substr(0, aHeaders.size() - 1));
    EXPECT_EQ(reader.Generation(), 0u);
    EXPECT_EQ(*reader.Headers(), "") << "nobody can join yet";
    EXPECT_EQ(reader.Title(), "Band - Song");
    EXPECT_EQ(reader.Bitrate(), 128);
    // Complete as soon as the last header packet is.
    reader.Feed(aHeaders.substr(aHeaders.size() - 1), out);
    EXPECT_EQ(reader.Generation(), 1u);
    const auto firstHeaders = reader.Headers();
    EXPECT_EQ(*firstHeaders, aHeaders);
    reader.Feed(Join(a.audioPages) + bHeaders.substr(0, bHeaders.size() - 1), out);
    // B's headers are not complete: joiners still start on A with A's headers.
    EXPECT_EQ(reader.Headers(), firstHeaders);
    EXPECT_EQ(reader.Title(), "B\xC3\xA9 - Second");  // a Latin-1 comment made UTF-8
    reader.Feed(bHeaders.substr(bHeaders.size() - 1) + Join(b.audioPages), out);
    EXPECT_EQ(reader.Generation(), 2u);
    EXPECT_EQ(*reader.Headers(), bHeaders);
    std::vector<std::string> pages = a.headerPages;
    for (const auto* part : {&a.audioPages, &b.headerPages, &b.audioPages}) {
        pages.insert(pages.end(), part->begin(), part->end());
    }
    ASSERT_EQ(out.size(), pages.size());
    const size_t aUnits = a.headerPages.size() + a.audioPages.size();
    for (size_t i = 0; i < out.size(); ++i) {
        const bool inA = i < aUnits;
        const bool header = inA ? i < a.headerPages.size() : i - aUnits < b.headerPages.size();
        EXPECT_EQ(out[i].bytes, pages[i]);
        EXPECT_EQ(out[i].generation, inA ? 1u : 2u) << i;
        EXPECT_EQ(out[i].syncPoint, !header) << i;
        EXPECT_EQ(out[i].headers, header ? nullptr : inA ? firstHeaders : reader.Headers()) << i;
    }

    // A page of a stream never announced, a damaged page, and a capture pattern whose "page"
    // runs into the real ones (the reader must resync inside it) are dropped.
    const std::string stray = OggWriter{77, 3}.Pages({"orphan"})[0];
    std::string damaged = a.audioPages[2];
    damaged[damaged.size() / 2] ^= 1;
    const std::string junk = "junk OggS\0\0 then not a page"s;
    const std::string input = stray + aHeaders + a.audioPages[0] + junk + a.audioPages[1] +
                              damaged + a.audioPages[3] + a.audioPages[4] + "\xFFOgg" + bHeaders +
                              Join(b.audioPages);
    OggReader whole;
    const std::vector<MediaUnit> kept = FeedAll(whole, input);
    EXPECT_EQ(Concat(kept), aHeaders + a.audioPages[0] + a.audioPages[1] + a.audioPages[3] +
                                a.audioPages[4] + bHeaders + Join(b.audioPages));
    EXPECT_EQ(whole.DroppedBytes(), stray.size() + junk.size() + damaged.size() + 4);
}

TEST(OggReader, HostileCommentsLeaveTheStreamWorkingAndOpusHeaders) {
    struct Case {
        std::string comment;
        std::string title;
    };
    const Case cases[] = {
        {Comments("\x03vorbis", {"NOEQUALS", "Title=x=y"}, std::string(5000, 'v')), "x=y"},
        // The count promises more fields than there are bytes; then a vendor length past the end.
        {"\x03vorbis"s + Le32(1) + "v" + Le32(9) + Le32(7) + "TITLE=T" + Le32(50) + "AR", "T"},
        {"\x03vorbis"s + Le32(0xFFFFFFF0) + "v", ""},
        // Longer than the reader reassembles: no title, but the stream still works.
        {Comments("\x03vorbis", {"TITLE=" + std::string(OggReader::kMaxPacketBytes, 'x')}), ""},
    };
    for (const Case& c : cases) {
        OggWriter writer{5, 0, 255};
        const std::vector<std::string> pages = {writer.Pages({VorbisId(-1)}, kOggBos)[0],
                                                Join(writer.Pages({c.comment, "\x05vorbis"}))};
        OggReader reader;
        const std::vector<MediaUnit> out = FeedAll(reader, Join(pages) + writer.Pages({"a"})[0]);
        EXPECT_EQ(reader.Title(), c.title);
        EXPECT_EQ(reader.Bitrate(), 0);
        ASSERT_FALSE(out.empty());
        EXPECT_TRUE(out.back().syncPoint);
        EXPECT_EQ(*reader.Headers(), Join(pages));
    }

    // Opus: the same, with its own header packets.
    OggWriter writer{3, 0, 255};
    const std::string head =
        writer.Pages({"OpusHead\x01\x02"s + std::string(17, '\0')}, kOggBos)[0];
    const std::string tags = writer.Pages({Comments("OpusTags", {"TITLE=T", "artist=A"})})[0];
    OggReader reader;
    const std::vector<MediaUnit> out = FeedAll(reader, head + tags + writer.Pages({"audio"})[0]);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_FALSE(out[1].syncPoint);
    EXPECT_TRUE(out[2].syncPoint);
    EXPECT_EQ(*reader.Headers(), head + tags);
    EXPECT_EQ(reader.Title(), "A - T");
}

// Opus and FLAC carry no nominal bitrate: what the status shows is measured from the pages'
// bytes over the audio their granule positions span, page framing included.
TEST(OggReader, OpusAndFlacTellTheirAudioAndJoinersGetEveryHeaderPage) {
    OggWriter opus{9, 0, 255};
    // Version 1, 2 channels, pre-skip 312, fed at 44.1 kHz.
    const std::string head =
        opus.Pages({"OpusHead\x01\x02"s + Bytes({0x38, 0x01}) + Le32(44100) + std::string(3, '\0')},
                   kOggBos)[0];
    const std::string tags = opus.Pages({Comments("OpusTags", {"ARTIST=Owl", "TITLE=Night"})})[0];
    OggReader reader;
    std::vector<MediaUnit> out = FeedAll(reader, head + tags);
    EXPECT_EQ(*reader.Headers(), head + tags);
    EXPECT_EQ(reader.Title(), "Owl - Night");
    // Listeners hear 48 kHz whatever the encoder was fed.
    EXPECT_EQ(std::vector({reader.SampleRate(), reader.Channels()}), std::vector({48000, 2}));
    EXPECT_STREQ(reader.CodecName(), "Opus");
    EXPECT_STREQ(reader.ContentType(), "audio/ogg; codecs=opus");
    // One second of 20 ms packets of 160 bytes a page: 50 * 160 + 27 + 50 lacing bytes.
    const std::vector<std::string> second(50, std::string(160, 'o'));
    for (int i = 1; i <= 4; ++i) {
        opus.granule = 48000u * static_cast<uint64_t>(i);
        reader.Feed(opus.Pages(second)[0], out);
        // The first page only marks where the audio starts; two seconds make the first figure.
        EXPECT_EQ(reader.Bitrate(), i < 3 ? 0 : (8077 * 8 + 500) / 1000) << i;
    }
    ASSERT_EQ(out.size(), 6u);
    EXPECT_TRUE(out.back().syncPoint);
    EXPECT_EQ(*out.back().headers, head + tags);

    // FLAC: the mapping counts two more header packets, comments then padding, each on its own
    // page. A joiner needs all three pages.
    const auto flacHead = [](int count, bool onlyBlock) {
        // STREAMINFO: 4096-sample blocks, frame sizes unknown, 44.1 kHz, 2 channels, 16 bits.
        return std::string(1, '\x7F') + "FLAC\x01\x00"s + static_cast<char>(count >> 8) +
               static_cast<char>(count & 0xFF) + "fLaC" +
               Bytes({onlyBlock ? 0x80 : 0x00, 0, 0, 34, 0x10, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x0A,
                      0xC4, 0x42, 0xF0}) +
               std::string(24, '\0');
    };
    const auto block = [](int type, const std::string& body) {
        const auto n = static_cast<int>(body.size());
        return Bytes({type, n >> 16, (n >> 8) & 0xFF, n & 0xFF}) + body;
    };
    const std::string comments = block(4, Comments("", {"TITLE=Loud"}));
    const std::string padding = block(0x81, std::string(8, '\0'));  // the last block
    const std::string notLast = block(1, std::string(8, '\0'));
    const std::string frame = Bytes({0xFF, 0xF8, 0x69, 0x08}) + std::string(600, 'f');
    struct Case {
        int count;
        std::vector<std::string> packets;  // after the mapping
        bool joinable;
    };
    const Case cases[] = {
        {2, {comments, padding}, true},
        // The count is not said: the block marked last ends the headers.
        {0, {comments, padding}, true},
        // An audio frame where the count promised a header: nobody could join on these.
        {3, {comments, notLast}, false},
    };
    for (const Case& c : cases) {
        OggWriter flac{11, 0, 255};
        std::string headers = flac.Pages({flacHead(c.count, false)}, kOggBos)[0];
        for (const std::string& packet : c.packets) {
            headers += flac.Pages({packet})[0];
        }
        OggReader fl;
        std::vector<MediaUnit> units = FeedAll(fl, headers);
        for (int i = 1; i <= 4; ++i) {
            flac.granule = 44100u * static_cast<uint64_t>(i);
            fl.Feed(flac.Pages({frame, frame})[0], units);
        }
        EXPECT_EQ(fl.Title(), "Loud") << c.count;
        EXPECT_EQ(std::vector({fl.SampleRate(), fl.Channels()}), std::vector({44100, 2}));
        EXPECT_STREQ(fl.ContentType(), "audio/ogg; codecs=flac");
        EXPECT_EQ(*fl.Headers(), c.joinable ? headers : "") << c.count;
        EXPECT_EQ(units.back().syncPoint, c.joinable) << c.count;
        // 2 * 604 bytes of frames, 6 lacing bytes and 27 of page header a second.
        EXPECT_EQ(fl.Bitrate(), (1241 * 8 + 500) / 1000) << c.count;
    }
    // STREAMINFO alone: the mapping page is the whole header set.
    OggWriter alone{12, 0, 255};
    const std::string only = alone.Pages({flacHead(0, true)}, kOggBos)[0];
    OggReader fl;
    std::vector<MediaUnit> units = FeedAll(fl, only + alone.Pages({frame})[0]);
    EXPECT_EQ(*fl.Headers(), only);
    EXPECT_TRUE(units.back().syncPoint);
}

// Sources, relays and listeners meet in one table: what listeners are told is what a relay of
// this station announces, so it must read back as the same format; first bytes without a
// content type find the same records.
TEST(FormatTable, ContentTypesSniffingAndReadersAgree) {
    EXPECT_STREQ(ContentTypeOf(StreamFormat::Mp3), "audio/mpeg");
    EXPECT_STREQ(ContentTypeOf(StreamFormat::Ogg), "application/ogg");
    EXPECT_STREQ(ContentTypeOf(StreamFormat::Asf), "application/vnd.ms-asf");
    EXPECT_STREQ(ContentTypeOf(StreamFormat::Aac), "audio/aac");
    EXPECT_STREQ(ContentTypeOf(StreamFormat::Unknown), "application/octet-stream");
    EXPECT_EQ(MakeFormatReader(StreamFormat::Unknown), nullptr);
    for (const FormatInfo& info : KnownFormats()) {
        EXPECT_EQ(&InfoOf(info.format), &info);
        EXPECT_EQ(FormatFromContentType(info.contentType), info.format) << info.name;
        EXPECT_NE(MakeFormatReader(info.format), nullptr) << info.name;
    }
    EXPECT_EQ(FormatFromContentType(" Audio/MPEG ; charset=x"), StreamFormat::Mp3);
    EXPECT_EQ(FormatFromContentType("audio/VORBIS"), StreamFormat::Ogg);
    EXPECT_EQ(FormatFromContentType("audio/x-ms-wma"), StreamFormat::Asf);
    EXPECT_EQ(FormatFromContentType("audio/aacp"), StreamFormat::Aac);
    EXPECT_EQ(FormatFromContentType("Audio/X-AAC"), StreamFormat::Aac);
    EXPECT_EQ(FormatFromContentType("audio/aac"), StreamFormat::Aac);
    EXPECT_TRUE(InfoOf(StreamFormat::Mp3).looseLabel) << "encoders label AAC audio/mpeg";

    const std::string asf(reinterpret_cast<const char*>(kAsfHeaderObject.data()),
                          kAsfHeaderObject.size());
    EXPECT_EQ(SniffFormat("OggS\0\2"), StreamFormat::Ogg);
    EXPECT_EQ(SniffFormat(asf), StreamFormat::Asf);
    EXPECT_EQ(SniffFormat("$H" + std::string(10, '\0') + asf), StreamFormat::Asf);
    EXPECT_EQ(SniffFormat("xy" + std::string(10, '\0') + asf), StreamFormat::Unknown);
    EXPECT_EQ(SniffFormat(Id3v2("TIT2")), StreamFormat::Mp3);
    EXPECT_EQ(SniffFormat(Frames128(3)), StreamFormat::Mp3);
    // ADTS, also behind a tag (which alone says MP3), and never MP3 taken for it.
    EXPECT_EQ(SniffFormat(AdtsFrames(2)), StreamFormat::Aac);
    EXPECT_EQ(SniffFormat(AdtsFrames(1).substr(0, 28)), StreamFormat::Aac);
    EXPECT_EQ(SniffFormat(Id3v2("TIT2") + AdtsFrames(2)), StreamFormat::Aac);
    EXPECT_EQ(SniffFormat(Id3v2("TIT2") + Frames128(2)), StreamFormat::Mp3);
    EXPECT_EQ(SniffFormat(AdtsFrame(372) + AdtsFrame(372, {.rateIndex = 3})),
              StreamFormat::Unknown);
    // A sync pattern whose next frame disagrees is not MP3.
    EXPECT_EQ(SniffFormat(Frame({0xFF, 0xFB, 0x90, 0x44}, 417) + "junk"), StreamFormat::Unknown);
}

TEST(IcyMetadata, BlocksAsPlayersReadThemWhateverTheTitle) {
    EXPECT_EQ(BuildIcyMetadataBlock("Abc", ""), "\x02StreamTitle='Abc';" + std::string(14, '\0'));
    EXPECT_EQ(BuildIcyMetadataBlock("a", "").size(), 1u + 32);  // 16 bytes of text, then a NUL
    EXPECT_EQ(BuildIcyMetadataBlock("T", "http://x/"),
              "\x03StreamTitle='T';StreamUrl='http://x/';" + std::string(10, '\0'));

    // Only the real terminator may read as one; control characters become spaces.
    const std::string block = BuildIcyMetadataBlock("A';StreamUrl='evil\n\0x'"s, "u';");
    const std::string text = block.substr(1, block.find('\0', 1) - 1);
    EXPECT_EQ(text, "StreamTitle='A' ;StreamUrl='evil  x'';StreamUrl='u' ;';");

    // Long titles are cut to the largest block, never inside a character.
    std::string accented = "a";
    for (int i = 0; i < 3000; ++i) {
        accented += "\xC3\xA9";
    }
    for (const std::string& title : {std::string(5000, 'x'), accented}) {
        const std::string longest = BuildIcyMetadataBlock(title, "http://station/");
        ASSERT_EQ(longest.size(), 1u + 255 * 16);
        const std::string cut = longest.substr(1, longest.find('\0', 1) - 1);
        EXPECT_EQ(cut.substr(cut.size() - 2), "';");
        EXPECT_EQ(cut.find("StreamUrl"), std::string::npos);  // no room left for it
        const std::string value = cut.substr(13, cut.size() - 15);
        EXPECT_EQ(ToUtf8(value), value);
        EXPECT_GT(value.size(), 4060u);
    }
    // Titles become UTF-8 without a BOM, from Windows-1252 unless they are UTF-8 already;
    // overlong, surrogate and truncated sequences are not. A format applies once.
    EXPECT_EQ(ToUtf8("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(ToUtf8("\x80\x93\x81\xFF"), "\xE2\x82\xAC\xE2\x80\x9C\xC2\x81\xC3\xBF");
    EXPECT_EQ(ToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(ToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(ToUtf8("\xE2\x82"), "\xC3\xA2\xE2\x80\x9A");
    EXPECT_EQ(ApplyTitleFormat("%t on Radio (%t)", "S%t"), "S%t on Radio (S%t)");
    EXPECT_EQ(ApplyUrlFormat("%s?from=icy&%t", "http://h/"), "http://h/?from=icy&%t");
}

}  // namespace
}  // namespace orvanta::engine
