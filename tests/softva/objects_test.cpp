// Threads: test main thread only.
// Formats, image layouts, pixel round trips and ids, through libva.
#include <cstring>
#include <limits>

#include "va_fixture.h"

namespace {

using SoftvaObjects = SoftvaTest;

TEST_F(SoftvaObjects, OffersNv12ThenYv12ByDefault) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const auto list = formats();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].fourcc, static_cast<unsigned>(VA_FOURCC_NV12));
    EXPECT_EQ(list[1].fourcc, static_cast<unsigned>(VA_FOURCC_YV12));
    EXPECT_STREQ(vaQueryVendorString(va_), "softva 1.0 (software NV12/YV12 presentation for X11)");
}

TEST_F(SoftvaObjects, FormatSettingReordersAndRestricts) {
    ASSERT_EQ(open("yv12,nv12"), VA_STATUS_SUCCESS);
    auto list = formats();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].fourcc, static_cast<unsigned>(VA_FOURCC_YV12));
    EXPECT_EQ(list[1].fourcc, static_cast<unsigned>(VA_FOURCC_NV12));
    terminate();

    ASSERT_EQ(open("I420"), VA_STATUS_SUCCESS);
    list = formats();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].fourcc, static_cast<unsigned>(VA_FOURCC_I420));
    // NV12 is not offered, so neither deriving nor an NV12 image is possible.
    const VASurfaceID s = surface(8, 8);
    VAImage image{};
    EXPECT_NE(vaDeriveImage(va_, s, &image), VA_STATUS_SUCCESS);
    VAImageFormat nv12 = format_of(VA_FOURCC_NV12);
    EXPECT_EQ(vaCreateImage(va_, &nv12, 8, 8, &image), VA_STATUS_ERROR_INVALID_IMAGE_FORMAT);
}

TEST_F(SoftvaObjects, ImageLayoutsAtOddSizes) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const int width = 101, height = 37;  // chroma 51 x 19
    const VASurfaceID s = surface(width, height);
    VAImage derived{};
    ASSERT_EQ(vaDeriveImage(va_, s, &derived), VA_STATUS_SUCCESS);
    EXPECT_EQ(derived.format.fourcc, static_cast<unsigned>(VA_FOURCC_NV12));
    EXPECT_EQ(derived.num_planes, 2u);
    EXPECT_GE(derived.pitches[0], 101u);
    EXPECT_GE(derived.pitches[1], 102u);
    EXPECT_GE(derived.offsets[1], derived.pitches[0] * height);
    EXPECT_GE(derived.data_size, derived.offsets[1] + derived.pitches[1] * 19);

    VAImageFormat yv12 = format_of(VA_FOURCC_YV12);
    VAImage created{};
    ASSERT_EQ(vaCreateImage(va_, &yv12, width, height, &created), VA_STATUS_SUCCESS);
    EXPECT_EQ(created.num_planes, 3u);
    EXPECT_GE(created.pitches[1], 51u);
    EXPECT_GE(created.pitches[2], 51u);
    EXPECT_GE(created.offsets[1], created.pitches[0] * height);
    EXPECT_GE(created.offsets[2], created.offsets[1] + created.pitches[1] * 19);
    EXPECT_GE(created.data_size, created.offsets[2] + created.pitches[2] * 19);
    EXPECT_EQ(vaDestroyImage(va_, created.image_id), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaDestroyImage(va_, derived.image_id), VA_STATUS_SUCCESS);
}

// Every sample gets a value of its own, so misplaced rows or planes show.
unsigned char sample(int plane, int x, int y) { return static_cast<unsigned char>(plane * 71 + x * 3 + y * 17); }

void write_planar(unsigned char* data, const VAImage& image, bool v_first) {
    const int cw = (image.width + 1) / 2, ch = (image.height + 1) / 2;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) data[image.offsets[0] + y * image.pitches[0] + x] = sample(0, x, y);
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            data[image.offsets[v_first ? 2 : 1] + y * image.pitches[1] + x] = sample(1, x, y);  // U
            data[image.offsets[v_first ? 1 : 2] + y * image.pitches[2] + x] = sample(2, x, y);  // V
        }
}

void expect_nv12_pattern(const unsigned char* data, const VAImage& image) {
    const int cw = (image.width + 1) / 2, ch = (image.height + 1) / 2;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            ASSERT_EQ(data[image.offsets[0] + y * image.pitches[0] + x], sample(0, x, y)) << x << "," << y;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            ASSERT_EQ(data[image.offsets[1] + y * image.pitches[1] + 2 * x], sample(1, x, y)) << "U " << x << "," << y;
            ASSERT_EQ(data[image.offsets[1] + y * image.pitches[1] + 2 * x + 1], sample(2, x, y))
                << "V " << x << "," << y;
        }
}

VAImage read_back(VADisplay va, VASurfaceID s, int width, int height) {
    VAImageFormat nv12{};
    nv12.fourcc = VA_FOURCC_NV12;
    VAImage image{};
    EXPECT_EQ(vaCreateImage(va, &nv12, width, height, &image), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaGetImage(va, s, 0, 0, width, height, image.image_id), VA_STATUS_SUCCESS);
    return image;
}

TEST_F(SoftvaObjects, PutImageFarOutsideCopiesNothingForAnyOffset) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const int width = 16, height = 16;
    const VASurfaceID s = surface(width, height);
    VAImageFormat yv12 = format_of(VA_FOURCC_YV12);
    VAImage planar{};
    ASSERT_EQ(vaCreateImage(va_, &yv12, width, height, &planar), VA_STATUS_SUCCESS);
    void* data = nullptr;
    ASSERT_EQ(vaMapBuffer(va_, planar.buf, &data), VA_STATUS_SUCCESS);
    write_planar(static_cast<unsigned char*>(data), planar, true);
    ASSERT_EQ(vaUnmapBuffer(va_, planar.buf), VA_STATUS_SUCCESS);
    // Offsets whose clipping arithmetic would overflow int, on either side.
    const int far = std::numeric_limits<int>::max(), near_min = std::numeric_limits<int>::min();
    for (const int offset : {near_min, -16385, 16385, far}) {
        EXPECT_EQ(vaPutImage(va_, s, planar.image_id, offset, 0, width, height, 0, 0, width, height),
                  VA_STATUS_SUCCESS);
        EXPECT_EQ(vaPutImage(va_, s, planar.image_id, 0, offset, width, height, 0, 0, width, height),
                  VA_STATUS_SUCCESS);
        EXPECT_EQ(vaPutImage(va_, s, planar.image_id, 0, 0, width, height, offset, 0, width, height),
                  VA_STATUS_SUCCESS);
        EXPECT_EQ(vaPutImage(va_, s, planar.image_id, 0, 0, width, height, 0, offset, width, height),
                  VA_STATUS_SUCCESS);
    }
    ASSERT_EQ(vaDestroyImage(va_, planar.image_id), VA_STATUS_SUCCESS);

    VAImage back = read_back(va_, s, width, height);
    ASSERT_EQ(vaMapBuffer(va_, back.buf, &data), VA_STATUS_SUCCESS);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(bytes[back.offsets[0] + y * back.pitches[0] + x], 16) << x << "," << y;
    vaUnmapBuffer(va_, back.buf);
    vaDestroyImage(va_, back.image_id);
}

TEST_F(SoftvaObjects, PatternsSurviveDerivedAndYv12Paths) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const int width = 33, height = 19;
    // Through the derived image: the surface's own memory.
    const VASurfaceID derived_surface = surface(width, height);
    VAImage derived{};
    ASSERT_EQ(vaDeriveImage(va_, derived_surface, &derived), VA_STATUS_SUCCESS);
    void* data = nullptr;
    ASSERT_EQ(vaMapBuffer(va_, derived.buf, &data), VA_STATUS_SUCCESS);
    auto* bytes = static_cast<unsigned char*>(data);
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bytes[derived.offsets[0] + y * derived.pitches[0] + x] = sample(0, x, y);
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            bytes[derived.offsets[1] + y * derived.pitches[1] + 2 * x] = sample(1, x, y);
            bytes[derived.offsets[1] + y * derived.pitches[1] + 2 * x + 1] = sample(2, x, y);
        }
    ASSERT_EQ(vaUnmapBuffer(va_, derived.buf), VA_STATUS_SUCCESS);
    ASSERT_EQ(vaDestroyImage(va_, derived.image_id), VA_STATUS_SUCCESS);

    // Through a YV12 image and vaPutImage, converted to the surface's NV12.
    const VASurfaceID put_surface = surface(width, height);
    VAImageFormat yv12 = format_of(VA_FOURCC_YV12);
    VAImage planar{};
    ASSERT_EQ(vaCreateImage(va_, &yv12, width, height, &planar), VA_STATUS_SUCCESS);
    ASSERT_EQ(vaMapBuffer(va_, planar.buf, &data), VA_STATUS_SUCCESS);
    write_planar(static_cast<unsigned char*>(data), planar, true);
    ASSERT_EQ(vaPutImage(va_, put_surface, planar.image_id, 0, 0, width, height, 0, 0, width, height),
              VA_STATUS_SUCCESS);
    ASSERT_EQ(vaUnmapBuffer(va_, planar.buf), VA_STATUS_SUCCESS);
    ASSERT_EQ(vaDestroyImage(va_, planar.image_id), VA_STATUS_SUCCESS);

    for (const VASurfaceID s : {derived_surface, put_surface}) {
        VAImage back = read_back(va_, s, width, height);
        ASSERT_EQ(vaMapBuffer(va_, back.buf, &data), VA_STATUS_SUCCESS);
        expect_nv12_pattern(static_cast<unsigned char*>(data), back);
        vaUnmapBuffer(va_, back.buf);
        vaDestroyImage(va_, back.image_id);
    }
}

TEST_F(SoftvaObjects, BadIdsAreRejectedByKind) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const VASurfaceID s = surface(16, 16);
    VAImage image{};
    ASSERT_EQ(vaDeriveImage(va_, s, &image), VA_STATUS_SUCCESS);
    void* data = nullptr;
    // An id of one kind is no id of another.
    EXPECT_EQ(vaDestroyImage(va_, s), VA_STATUS_ERROR_INVALID_IMAGE);
    EXPECT_EQ(vaSyncSurface(va_, image.image_id), VA_STATUS_ERROR_INVALID_SURFACE);
    EXPECT_EQ(vaMapBuffer(va_, image.image_id, &data), VA_STATUS_ERROR_INVALID_BUFFER);
    EXPECT_EQ(vaMapBuffer(va_, s, &data), VA_STATUS_ERROR_INVALID_BUFFER);
    EXPECT_EQ(vaPutSurface(va_, 12345, DefaultRootWindow(x_), 0, 0, 16, 16, 0, 0, 16, 16, nullptr, 0, 0),
              VA_STATUS_ERROR_INVALID_SURFACE);
    EXPECT_EQ(vaGetImage(va_, s, 0, 0, 16, 16, 0xdead), VA_STATUS_ERROR_INVALID_IMAGE);

    // Destroyed ids stay invalid, and new objects do not take them over.
    const VAImageID old_image = image.image_id;
    ASSERT_EQ(vaDestroyImage(va_, old_image), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaDestroyImage(va_, old_image), VA_STATUS_ERROR_INVALID_IMAGE);
    EXPECT_EQ(vaUnmapBuffer(va_, image.buf), VA_STATUS_ERROR_INVALID_BUFFER);
    VAImage again{};
    ASSERT_EQ(vaDeriveImage(va_, s, &again), VA_STATUS_SUCCESS);
    EXPECT_NE(again.image_id, old_image);
    EXPECT_NE(again.buf, image.buf);
    VASurfaceID copy = s;
    ASSERT_EQ(vaDestroySurfaces(va_, &copy, 1), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaDestroySurfaces(va_, &copy, 1), VA_STATUS_ERROR_INVALID_SURFACE);
    EXPECT_NE(surface(16, 16), s);
    // The derived image keeps the memory of its destroyed surface alive.
    ASSERT_EQ(vaMapBuffer(va_, again.buf, &data), VA_STATUS_SUCCESS);
    static_cast<unsigned char*>(data)[0] = 1;
    EXPECT_EQ(vaDestroyImage(va_, again.image_id), VA_STATUS_SUCCESS);
}

TEST_F(SoftvaObjects, SurfaceSizesAndAttributes) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    VASurfaceID ids[2];
    EXPECT_EQ(vaCreateSurfaces(va_, VA_RT_FORMAT_YUV420, 1, 1, ids, 2, nullptr, 0), VA_STATUS_SUCCESS);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_EQ(vaDestroySurfaces(va_, ids, 2), VA_STATUS_SUCCESS);
    EXPECT_NE(vaCreateSurfaces(va_, VA_RT_FORMAT_YUV420, 16385, 16, ids, 1, nullptr, 0), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaCreateSurfaces(va_, VA_RT_FORMAT_YUV444, 16, 16, ids, 1, nullptr, 0),
              VA_STATUS_ERROR_UNSUPPORTED_RT_FORMAT);
    VASurfaceAttrib fourcc{};
    fourcc.type = VASurfaceAttribPixelFormat;
    fourcc.flags = VA_SURFACE_ATTRIB_SETTABLE;
    fourcc.value.type = VAGenericValueTypeInteger;
    fourcc.value.value.i = VA_FOURCC_NV12;
    EXPECT_EQ(vaCreateSurfaces(va_, VA_RT_FORMAT_YUV420, 16384, 3, ids, 1, &fourcc, 1), VA_STATUS_SUCCESS);
    VASurfaceStatus status{};
    EXPECT_EQ(vaQuerySurfaceStatus(va_, ids[0], &status), VA_STATUS_SUCCESS);
    EXPECT_EQ(status, VASurfaceReady);
    EXPECT_EQ(vaSyncSurface(va_, ids[0]), VA_STATUS_SUCCESS);
}

TEST_F(SoftvaObjects, DecodingIsNotOffered) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    std::vector<VAProfile> profiles(vaMaxNumProfiles(va_));
    int count = -1;
    EXPECT_EQ(vaQueryConfigProfiles(va_, profiles.data(), &count), VA_STATUS_SUCCESS);
    EXPECT_EQ(count, 0);
    VAConfigID config = 0;
    EXPECT_NE(vaCreateConfig(va_, VAProfileH264Main, VAEntrypointVLD, nullptr, 0, &config), VA_STATUS_SUCCESS);
    VABufferID buffer = 0;
    EXPECT_NE(vaCreateBuffer(va_, 0, VASliceDataBufferType, 16, 1, nullptr, &buffer), VA_STATUS_SUCCESS);
}

TEST_F(SoftvaObjects, InstancesAreIndependent) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    VADisplay first = va_;
    Display* second_x = XOpenDisplay(nullptr);
    ASSERT_NE(second_x, nullptr);
    VADisplay second = vaGetDisplay(second_x);
    int major = 0, minor = 0;
    ASSERT_EQ(vaInitialize(second, &major, &minor), VA_STATUS_SUCCESS);
    const VASurfaceID s = surface(8, 8);
    EXPECT_EQ(vaSyncSurface(second, s), VA_STATUS_ERROR_INVALID_SURFACE);
    EXPECT_EQ(vaTerminate(second), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaSyncSurface(first, s), VA_STATUS_SUCCESS);
    XCloseDisplay(second_x);
}

}  // namespace
