// genicam_format_camera - Aravis's fake GigE Vision camera sending the test
// pattern of format_pattern.h in the pixel formats it is given:
//   genicam_format_camera [--address 127.0.0.1] [--serial FMT01]
//       --formats Mono12p,BayerRG12p,Mono8 [--xml-template fake-camera-lines.xml]
//       [--heartbeat-timeout 3000] [--frame-rate 25]
// Its PixelFormat offers exactly those formats, the first being current at
// start.  The heartbeat timeout (ms) is the GevHeartbeatTimeout it starts
// with: behind a slow control channel Aravis's heartbeats come late.  Prints
// "ready" once it serves; runs until SIGTERM or SIGINT.  Serves only where
// loopback is the only interface.
#include <arv.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_camera.h"
#include "format_pattern.h"

namespace {

using genicam_test::FormatInfo;

#ifndef GENICAM_FORMAT_XML_TEMPLATE
#define GENICAM_FORMAT_XML_TEMPLATE ""
#endif

// The template's SensorWidth and SensorHeight: the frame at start is the full
// sensor, not Aravis's default 512 x 512.
constexpr guint32 kSensorWidth = 640, kSensorHeight = 480;
constexpr guint32 kHeartbeatTimeoutRegister = 0x938;  // GevHeartbeatTimeout

// The callback runs on the fake camera's thread with the buffer's region and
// format already set and at least the payload (width x height x bits a pixel
// / 8, as Aravis reckons it) allocated.
void fill(ArvBuffer* buffer, void*, guint32, guint32, ArvPixelFormat format) {
    static std::vector<uint8_t> image;
    gint x, y, width, height;
    arv_buffer_get_image_region(buffer, &x, &y, &width, &height);
    image.resize(genicam_test::image_bytes(format, width, height));
    if (image.empty() || !genicam_test::write_image(format, x, y, width, height, image.data())) return;
    const size_t payload = size_t(width) * height * genicam_test::bits_per_pixel(format) / 8;
    auto* data = static_cast<uint8_t*>(const_cast<void*>(arv_buffer_get_data(buffer, nullptr)));
    std::copy_n(image.data(), std::min(payload, image.size()), data);
}

// The template with its PixelFormat entries replaced by those formats, or ""
// when it has no PixelFormat enumeration.
std::string description(const std::string& xml, const std::vector<const FormatInfo*>& formats) {
    const size_t enumeration = xml.find("<Enumeration Name=\"PixelFormat\"");
    if (enumeration == std::string::npos) return "";
    const size_t from = xml.find("<EnumEntry", enumeration), to = xml.find("<pValue>", enumeration);
    if (from == std::string::npos || to == std::string::npos || to < from) return "";
    std::string entries;
    for (const FormatInfo* f : formats)
        entries += std::string("<EnumEntry Name=\"") + f->name + "\" NameSpace=\"Standard\">\n\t\t\t<Value>" +
                   std::to_string(f->value) + "</Value>\n\t\t</EnumEntry>\n\t\t";
    return xml.substr(0, from) + entries + xml.substr(to);
}

int usage() {
    std::fprintf(stderr,
                 "usage: genicam_format_camera [--address A] [--serial S] --formats F1,F2,... "
                 "[--xml-template PATH] [--heartbeat-timeout MS] [--frame-rate FPS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1", serial = "FMT01", format_list, xml_template = GENICAM_FORMAT_XML_TEMPLATE;
    long heartbeat_ms = 3000;
    double frame_rate = 0;  // 0: Aravis's own
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--address")
            address = argv[i + 1];
        else if (option == "--serial")
            serial = argv[i + 1];
        else if (option == "--formats")
            format_list = argv[i + 1];
        else if (option == "--xml-template")
            xml_template = argv[i + 1];
        else if (option == "--heartbeat-timeout")
            heartbeat_ms = std::atol(argv[i + 1]);
        else if (option == "--frame-rate")
            frame_rate = std::atof(argv[i + 1]);
        else
            return usage();
    }
    if (argc % 2 == 0 || format_list.empty() || xml_template.empty() || heartbeat_ms <= 0 || frame_rate < 0) return usage();

    std::vector<const FormatInfo*> formats;
    std::stringstream list(format_list);
    for (std::string name; std::getline(list, name, ',');) {
        const FormatInfo* f = genicam_test::find_format(name);
        if (f == nullptr) {
            std::fprintf(stderr, "genicam_format_camera: unknown pixel format %s\n", name.c_str());
            return 2;
        }
        formats.push_back(f);
    }
    if (!genicam_test::in_private_network()) {
        std::fprintf(stderr, "genicam_format_camera: serves only where loopback is the only interface\n");
        return 1;
    }

    std::ifstream in(xml_template);
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = description(text.str(), formats);
    if (xml.empty()) {
        std::fprintf(stderr, "genicam_format_camera: no PixelFormat enumeration in %s\n", xml_template.c_str());
        return 1;
    }
    const std::string xml_path =
        (std::filesystem::temp_directory_path() / ("genicam-formats-" + std::to_string(getpid()) + ".xml")).string();
    std::ofstream(xml_path) << xml;

    // Blocked before the camera's thread starts, so only sigwait takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    ArvGvFakeCamera* camera = arv_gv_fake_camera_new_full(address.c_str(), serial.c_str(), xml_path.c_str());
    if (camera == nullptr || !arv_gv_fake_camera_is_running(camera)) {
        std::fprintf(stderr, "genicam_format_camera: cannot serve on %s\n", address.c_str());
        if (camera != nullptr) g_object_unref(camera);
        std::filesystem::remove(xml_path);
        return 1;
    }
    ArvFakeCamera* fake = arv_gv_fake_camera_get_fake_camera(camera);
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_PIXEL_FORMAT, formats.front()->value);
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_WIDTH, kSensorWidth);
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_HEIGHT, kSensorHeight);
    arv_fake_camera_write_register(fake, kHeartbeatTimeoutRegister, heartbeat_ms);
    if (frame_rate > 0)
        arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_ACQUISITION_FRAME_PERIOD_US,
                                       static_cast<guint32>(1e6 / frame_rate));
    arv_fake_camera_set_fill_pattern(fake, fill, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    // Whoever waited for that may stop reading.
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("format_camera: /dev/null");

    int signal = 0;
    sigwait(&stop, &signal);
    g_object_unref(camera);
    std::filesystem::remove(xml_path);
    return 0;
}
