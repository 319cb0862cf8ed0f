// The GenICam camera library's pure arithmetic: frame-id widening, pixel
// formats and the image decoding, the mode list, region fitting, retry pauses, the incomplete-frame lines,
// the words of the conditions.
// Threads: the test main thread only.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "condition_words.h"
#include "frame_ids.h"
#include "incomplete_run.h"
#include "mode_table.h"
#include "pixel_layout.h"
#include "region_fit.h"
#include "retry_pause.h"
#include "silence_limit.h"

using namespace genicam;

namespace {

// The program's own lost-frame rule, to check the widened numbers against.
uint32_t lost_by_program(const std::vector<uint32_t>& numbers) {
    uint32_t previous = UINT32_MAX, lost = 0;
    for (uint32_t n : numbers) {
        const uint32_t gap = n - previous - 1;
        if (gap < 1000) lost += gap;
        previous = n;
    }
    return lost;
}

std::vector<uint32_t> widen(const std::vector<uint64_t>& raw, IdWidth width, FrameIdCounter* counter) {
    std::vector<uint32_t> out;
    for (uint64_t id : raw) {
        *counter = advance_frame_id(*counter, id, width);
        out.push_back(static_cast<uint32_t>(counter->wide));
    }
    return out;
}

TEST(GenicamFrameIds, GigEVisionWrapFrom65535To1IsOneStep) {
    FrameIdCounter counter;
    const auto numbers = widen({65533, 65534, 65535, 1, 2, 3}, IdWidth::gev16, &counter);
    for (size_t i = 1; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], numbers[i - 1] + 1) << i;
    EXPECT_EQ(lost_by_program(numbers), 0u);
}

TEST(GenicamFrameIds, LossesAcrossTheWrapAreCountedExactly) {
    FrameIdCounter counter;
    // 65535 -> 2 misses id 1; 3 -> 5 misses one; 5 -> 9 misses three.
    const auto numbers = widen({65534, 65535, 2, 3, 5, 9}, IdWidth::gev16, &counter);
    uint32_t lost = 0;
    for (size_t i = 1; i < numbers.size(); ++i) lost += numbers[i] - numbers[i - 1] - 1;
    EXPECT_EQ(lost, 5u);
}

TEST(GenicamFrameIds, AFirstIdOfOneLosesNothing) {
    FrameIdCounter counter;
    EXPECT_EQ(lost_by_program(widen({1, 2, 3}, IdWidth::gev16, &counter)), 0u);
}

TEST(GenicamFrameIds, KeepsCountingPastManyWraps) {
    FrameIdCounter counter;
    uint64_t raw = 60000;
    uint32_t previous = 0;
    for (int i = 0; i < 3 * 65535 + 10; ++i) {
        counter = advance_frame_id(counter, raw, IdWidth::gev16);
        if (i > 0) {
            ASSERT_EQ(static_cast<uint32_t>(counter.wide), previous + 1) << i;
        }
        previous = static_cast<uint32_t>(counter.wide);
        raw = raw == 65535 ? 1 : raw + 1;
    }
}

TEST(GenicamFrameIds, RestartsAndStepsBackAreNeverLosses) {
    FrameIdCounter counter;
    auto before = widen({100, 101, 102}, IdWidth::gev16, &counter);
    counter = restart_frame_ids(counter);
    auto after = widen({1, 2}, IdWidth::gev16, &counter);
    EXPECT_GE(after[0] - before.back(), 1000u);  // the program counts nothing
    EXPECT_EQ(after[1], after[0] + 1);
    // Ids going back without a restart (a camera reset) jump ahead too.
    auto back = widen({1}, IdWidth::gev16, &counter);
    EXPECT_GE(back[0] - after[1], 1000u);
    // A repeated id keeps the number.
    auto repeat = widen({1}, IdWidth::gev16, &counter);
    EXPECT_EQ(repeat[0], back[0]);
    // After a reconnect the camera's ids say what was missed, unless the
    // first one is the last one again: a camera that counted afresh.
    counter = resume_frame_ids(counter);
    auto resumed = widen({4}, IdWidth::gev16, &counter);
    EXPECT_EQ(resumed[0], repeat[0] + 3);
    counter = resume_frame_ids(counter);
    auto recounted = widen({4, 5}, IdWidth::gev16, &counter);
    EXPECT_GE(recounted[0] - resumed[0], 1000u);
    EXPECT_EQ(recounted[1], recounted[0] + 1);
}

TEST(GenicamFrameIds, OvertakenIdsAreLateAcrossTheWrapButNewOrRestartedOnesAreNot) {
    FrameIdCounter counter;
    EXPECT_FALSE(is_late_frame_id(counter, 5, IdWidth::gev16));  // nothing seen yet
    widen({65534, 65535, 1, 2}, IdWidth::gev16, &counter);
    EXPECT_TRUE(is_late_frame_id(counter, 2, IdWidth::gev16));
    EXPECT_TRUE(is_late_frame_id(counter, 65535, IdWidth::gev16));
    EXPECT_FALSE(is_late_frame_id(counter, 3, IdWidth::gev16));
    EXPECT_FALSE(is_late_frame_id(counter, 60000, IdWidth::gev16));  // far behind: a camera that restarted
    EXPECT_TRUE(is_late_frame_id(counter, 0, IdWidth::gev16));       // its id never arrived: no restart jump
    widen({5000}, IdWidth::wide64, &counter);
    EXPECT_TRUE(is_late_frame_id(counter, 4001, IdWidth::wide64));
    EXPECT_FALSE(is_late_frame_id(counter, 4000, IdWidth::wide64));
    EXPECT_FALSE(is_late_frame_id(counter, 5001, IdWidth::wide64));
}

TEST(GenicamRetryPause, DoublesFromAQuarterSecondUpToTwoSeconds) {
    std::vector<long> pauses;
    auto pause = std::chrono::milliseconds(0);
    for (int i = 0; i < 6; ++i) pauses.push_back((pause = next_retry_pause(pause)).count());
    EXPECT_EQ(pauses, (std::vector<long>{250, 500, 1000, 2000, 2000, 2000}));
}

TEST(GenicamSilenceLimit, ASecondOrThreeFramePeriodsWhicheverTheCameraSaysOrShows) {
    using std::chrono::milliseconds;
    struct Case {
        double period_s, exposure_s;
        milliseconds spacing;
        long limit_ms;
    } cases[] = {{0.04, 0.01, milliseconds(40), 1000},  {1 / 0.9, 0.01, milliseconds(0), 3333},
                 {0, 0, milliseconds(2000), 6000},      {0.5, 5.0, milliseconds(500), 15000},
                 {0, 0, milliseconds(0), 1000},         {1e9, 0, milliseconds(0), 3600000}};
    for (const Case& c : cases)
        EXPECT_EQ(stream_silence_limit(c.period_s, c.exposure_s, c.spacing).count(), c.limit_ms) << c.period_s;
}

TEST(GenicamFrameIds, WideIdsAreTakenAsTheyAre) {
    FrameIdCounter counter;
    const auto numbers = widen({70000, 70001, 70003, 0x1'0000'0000ull + 70004}, IdWidth::wide64, &counter);
    EXPECT_EQ(numbers[0], 70000u);
    EXPECT_EQ(numbers[2], 70003u);
    EXPECT_GE(numbers[3] - numbers[2], 1000u);  // an absurd jump is not a loss
}

TEST(GenicamPixelLayout, ShowableFormatsOnly) {
    EXPECT_EQ(pixel_layout(0x01080001)->bytes, 1u);                          // Mono8
    EXPECT_EQ(pixel_layout(0x01100005)->bits, 12u);                          // Mono12
    EXPECT_EQ(pixel_layout(0x0110000F)->mosaic, Mosaic::bggr);               // BayerBG10
    EXPECT_EQ(pixel_layout(0x0110002E)->column_shift, 1u);                   // BayerGR16
    EXPECT_EQ(pixel_layout(0x010C0006)->packing, Packing::gev12);            // Mono12Packed
    EXPECT_EQ(pixel_layout(0x010C0057)->column_shift, 1u);                   // BayerGR12p
    EXPECT_EQ(pixel_layout(0x0210001F)->camera_colour, CameraColour::uyvy);  // YUV422_8_UYVY
    EXPECT_FALSE(pixel_layout(0x02180020));                                  // YUV444
    EXPECT_FALSE(pixel_layout(0x021800D9));                                  // Coord3D
}

// A packed green-first Bayer row starts mid-group: the unpacking is asked
// for the right samples.  A colour camera's frame is its luma, then its own
// pixels as they came.
TEST(GenicamPixelLayout, PackedAndColourFormatsAreDecodedIntoTheFrame) {
    const PixelLayout gr12p = *pixel_layout(0x010C0057);
    // 4 x 2 samples 0x101 * (i + 1), two to three bytes: 01 21 20 03 41 40 ...
    std::vector<uint8_t> packed(12);
    for (uint32_t i = 0; i < 8; ++i) {
        const uint32_t v = 0x101 * (i + 1), bit = i * 12;
        packed[bit / 8] |= uint8_t(v << (bit % 8));
        packed[bit / 8 + 1] |= uint8_t(v >> (8 - bit % 8));
    }
    uint16_t samples[4] = {};
    ASSERT_TRUE(decode_shown_image(gr12p, packed.data(), packed.size(), 4, 2, reinterpret_cast<uint8_t*>(samples),
                                   sizeof samples));
    EXPECT_EQ(std::vector<uint16_t>(samples, samples + 4), (std::vector<uint16_t>{0x202, 0x303, 0x606, 0x707}));
    EXPECT_FALSE(decode_shown_image(gr12p, packed.data(), packed.size() - 1, 4, 2, reinterpret_cast<uint8_t*>(samples),
                                    sizeof samples));

    const PixelLayout rgb8 = *pixel_layout(0x02180014);
    const uint8_t pixels[6] = {255, 255, 255, 0, 0, 255};  // white, blue
    uint8_t frame[2 + 6] = {};
    ASSERT_EQ(shown_bytes(rgb8, 2, 1), sizeof frame);
    ASSERT_TRUE(decode_shown_image(rgb8, pixels, sizeof pixels, 2, 1, frame, sizeof frame));
    EXPECT_EQ(frame[0], 255);
    EXPECT_EQ(frame[1], 29);  // (29 * 255 + 128) >> 8
    EXPECT_EQ(std::vector<uint8_t>(frame + 2, frame + 8), std::vector<uint8_t>(pixels, pixels + 6));
}

TEST(GenicamPixelLayout, GreenFirstOrdersAreCopiedOneColumnIn) {
    const PixelLayout gb8 = *pixel_layout(0x0108000A);
    EXPECT_EQ(gb8.mosaic, Mosaic::bggr);
    // 6 x 2 image: G B G B G B / R G R G R G -> B G B G / G R G R
    const uint8_t source[12] = {'G', 'B', 'G', 'B', 'G', 'B', 'R', 'g', 'R', 'g', 'R', 'g'};
    uint8_t target[8] = {};
    ASSERT_TRUE(decode_shown_image(gb8, source, sizeof source, 6, 2, target, sizeof target));
    EXPECT_EQ(std::string(target, target + 8), "BGBGgRgR");
    EXPECT_EQ(shown_width(gb8, 6), 4u);
}

TEST(GenicamPixelLayout, ShortBuffersAreNeverCopied) {
    const PixelLayout mono16 = *pixel_layout(0x01100007);
    std::vector<uint8_t> source(4 * 3 * 2 - 1), target(64);
    EXPECT_FALSE(decode_shown_image(mono16, source.data(), source.size(), 4, 3, target.data(), target.size()));
    source.resize(4 * 3 * 2);
    EXPECT_TRUE(decode_shown_image(mono16, source.data(), source.size(), 4, 3, target.data(), target.size()));
    EXPECT_FALSE(decode_shown_image(mono16, source.data(), source.size(), 4, 3, target.data(), 23));
}

TEST(GenicamModeTable, FormatsTimesBinningsWithBinnedFullFrames) {
    CameraGeometry geometry;
    geometry.sensor_width = 1936;
    geometry.sensor_height = 1216;
    geometry.width_increment = 16;
    geometry.height_increment = 2;
    geometry.max_binning = 2;
    const auto modes =
        build_modes({{0x01100011, "BayerRG12"}, {0x02180020, "YUV444_8"}, {0x01080001, "Mono8"}}, geometry);
    ASSERT_EQ(modes.size(), 4u);  // YUV444_8 cannot be shown
    EXPECT_EQ(describe_mode(modes[0]), "BayerRG12, 1936 x 1216");
    EXPECT_EQ(describe_mode(modes[1]), "BayerRG12, 960 x 608, 2x2 binning");  // 968 rounded to 16
    EXPECT_EQ(modes[2].format_name, "Mono8");
    EXPECT_EQ(binning_factors(1), (std::vector<uint32_t>{1}));
    EXPECT_EQ(binning_factors(3), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(binning_factors(16), (std::vector<uint32_t>{1, 2, 4}));
}

// A camera back with other modes: the same format and binning, else the
// same kind of picture, else the same binning, else the first mode.
TEST(GenicamModeTable, NearestModeKeepsFormatThenKindThenBinning) {
    CameraGeometry geometry;
    geometry.sensor_width = 640;
    geometry.sensor_height = 480;
    geometry.max_binning = 2;
    const auto before = build_modes({{0x01100011, "BayerRG12"}, {0x01080001, "Mono8"}}, geometry);
    const auto after = build_modes({{0x01080001, "Mono8"}, {0x01080009, "BayerRG8"}}, geometry);
    const auto index = [](ModeMatch m) { return std::vector<uint32_t>{m.index, m.exact}; };
    EXPECT_EQ(index(nearest_mode(after, before[3])), (std::vector<uint32_t>{1, 1}));  // Mono8 2x2
    EXPECT_EQ(index(nearest_mode(after, before[1])), (std::vector<uint32_t>{3, 0}));  // BayerRG12 2x2: BayerRG8 2x2
    geometry.max_binning = 1;
    const auto unbinned = build_modes({{0x01080001, "Mono8"}}, geometry);
    EXPECT_EQ(index(nearest_mode(unbinned, before[1])), (std::vector<uint32_t>{0, 0}));
}

TEST(GenicamRegionFit, ZeroIsTheFullFrameAndRequestsRoundToIncrements) {
    const AxisRule x{1280, 8, 16, 64}, y{1024, 2, 2, 2};
    EXPECT_EQ(fit_region({}, x, y), (Region{0, 0, 1280, 1024}));
    EXPECT_EQ(fit_region({13, 3, 650, 101}, x, y), (Region{8, 2, 640, 100}));
    // Too small a width grows to the minimum, moving left if it must.
    EXPECT_EQ(fit_region({1270, 0, 4, 2}, x, y), (Region{1216, 0, 64, 2}));
}

TEST(GenicamRegionFit, RequestsOutsideTheFrameAreRefused) {
    const AxisRule x{640, 1, 1, 1}, y{480, 1, 1, 1};
    EXPECT_FALSE(fit_region({600, 0, 100, 100}, x, y));
    EXPECT_FALSE(fit_region({0, 0, 0, 100}, x, y));
    EXPECT_FALSE(fit_region({0xFFFFFFF0u, 0, 0x20, 100}, x, y));  // no wrap-around
    EXPECT_EQ(fit_region({64, 32, 320, 240}, x, y), (Region{64, 32, 320, 240}));
}

// Incomplete frames are told of once a run has lasted over a second, and
// once when a second has passed without one; short bursts say nothing.
TEST(IncompleteRun, ARunOverASecondIsToldOnceAndSoIsItsEnd) {
    using std::chrono::milliseconds;
    IncompleteRun run;
    const IncompleteRun::Clock::time_point t0{};
    std::vector<std::string> lines;
    const auto at = [&](int ms, bool complete) {
        if (std::string line = run.frame(t0 + milliseconds(ms), complete); !line.empty()) lines.push_back(line);
    };
    at(0, false);  // a burst of 0.9 s, then 1.1 s clean: nothing
    at(900, false);
    at(2000, true);
    EXPECT_TRUE(lines.empty());
    // Every 40 ms, one frame in four complete, for 1.2 s; the line comes with
    // the first incomplete frame past the second.
    for (int ms = 3000; ms <= 4200; ms += 40) at(ms, (ms / 40) % 4 == 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Frames arriving incomplete: 20 of the last 27 (packets lost on the network)\n");
    for (int ms = 4240; ms <= 5200; ms += 40) at(ms, true);  // within a second of the last incomplete one
    EXPECT_EQ(lines.size(), 1u);
    at(5300, true);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Frames arriving complete again\n");
}

}  // namespace

TEST(GenicamConditionWords, EachSaysWhatIsWrongWithItsFiguresAndWhatBoundsTheRate) {
    const NetworkPath lo{"lo", "127.0.0.1", 1500, 0};
    // 50 frames a second of 5 MB in packets of 1400 bytes: about 2109 Mbit/s on the wire.
    const StreamFigures fast{1400, 5000000, 0.02, 0.001, false, 1000};
    StreamFigures exposed = fast, slow = fast, triggered = fast;
    exposed.exposure_s = 0.019;
    slow.payload = 1000000;  // about 422 Mbit/s
    triggered.triggered = true;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {trigger_words({{"FrameStart", "On", "Line0", "RisingEdge"}, {"AcquisitionStart", "Off", "Line1", ""}}),
         "The camera waits for a trigger: FrameStart from Line0, rising edge. Frames come only when it fires; to see "
         "pictures without it, press Free run."},
        {trigger_words({{"FrameStart", "On", "Line0", "FallingEdge"}, {"AcquisitionStart", "On", "Software", ""}}),
         "The camera waits for triggers: FrameStart from Line0, falling edge; AcquisitionStart from Software. Frames "
         "come only when they fire; to see pictures without them, press Free run."},
        {trigger_words({{"FrameStart", "Off", "Line0", "RisingEdge"}}), ""},
        {auto_words(true, false, false, false),
         "Auto exposure is on in the camera: it overrides the exposure set here. Setting the exposure here switches "
         "it off."},
        {auto_words(false, false, false, true), "Auto gain was switched off so that the gain set here holds."},
        {packet_words(8000, lo),
         "Frames never arrive whole: the camera sends packets of 8000 bytes, and lo carries at most 1500 (its MTU). "
         "Set the camera's packet size (GevSCPSPacketSize) to 1500 or less, or raise the MTU of lo (jumbo frames) "
         "and of every switch between."},
        {silent_stream_words(40123, lo),
         "The camera answers, but its pictures do not reach this PC: they should come to UDP port 40123 on "
         "127.0.0.1 (lo). A firewall, the reverse-path filter (rp_filter) or another program on that port may stop "
         "them: let the camera's UDP packets through the firewall, set rp_filter to 2 (loose) for lo, or close the "
         "other program."},
        {link_rate_words(fast, "eth0"),
         "The link cannot carry the rate asked: 50 frames a second of 5.0 MB need about 2109 Mbit/s, and eth0 "
         "carries 1000 Mbit/s, so frames are lost. Lower the frame rate, make the region smaller, choose a pixel "
         "format with fewer bits, or use binning."},
        {link_rate_words(slow, "eth0"), ""},
        {stream_facts(fast), "packets of 1400 bytes; rate bound by the link"},
        {stream_facts(exposed), "packets of 1400 bytes; rate bound by exposure"},
        {stream_facts(triggered), "packets of 1400 bytes; rate bound by the trigger"},
        {stream_facts(slow), "packets of 1400 bytes; rate bound by the camera's frame rate"},
    };
    for (const auto& [words, expected] : cases) EXPECT_EQ(words, expected);
}
