// connection.cpp - see connection.h.  Members: the owning slot's camera
// thread.  receive: the connection's receive thread.
// on_control_lost: Aravis's heartbeat thread.
#include "connection.h"

#include <arv.h>

#include <algorithm>
#include <cmath>

#include "checker_handover.h"
#include "device_ids.h"
#include "discovery.h"
#include "gvcp_probe.h"
#include "network_path.h"
#include "open_words.h"

namespace genicam {
namespace {

constexpr unsigned kStreamBuffers = 8;
// How long the receive thread waits for a buffer before it looks at its stop
// flag again: bounds how long stopping the stream takes.
constexpr guint64 kPopTimeoutUs = 50000;

bool timed_out(const GError* error) {
    return error->domain == ARV_DEVICE_ERROR && error->code == ARV_DEVICE_ERROR_TIMEOUT;
}

bool has_feature(ArvCamera* camera, const char* name) {
    GError* error = nullptr;
    const bool available = arv_camera_is_feature_available(camera, name, &error);
    if (error) g_error_free(error);
    return available;
}

// Frames Aravis gave up on with part of their packets: delivered as incomplete.
bool partly_received(ArvBufferStatus status) {
    return status == ARV_BUFFER_STATUS_MISSING_PACKETS || status == ARV_BUFFER_STATUS_TIMEOUT;
}

// The local address the kernel would send from to reach device.
GInetAddress* interface_address_for(const std::string& device) {
    const std::optional<in_addr> local = local_address_to(device);
    if (!local) return nullptr;
    return g_inet_address_new_from_bytes(reinterpret_cast<const guint8*>(&local->s_addr), G_SOCKET_FAMILY_IPV4);
}

ArvCamera* open_by_address(const std::string& address) {
    GInetAddress* interface_address = interface_address_for(address);
    GInetAddress* device_address = g_inet_address_new_from_string(address.c_str());
    ArvCamera* camera = nullptr;
    if (interface_address && device_address) {
        GError* error = nullptr;
        ArvDevice* device = arv_gv_device_new(interface_address, device_address, &error);
        if (device) {
            camera = arv_camera_new_with_device(device, &error);  // takes its own reference
            g_object_unref(device);
        }
        if (error) g_error_free(error);
    }
    if (interface_address) g_object_unref(interface_address);
    if (device_address) g_object_unref(device_address);
    return camera;
}

ArvCamera* open_by_id(const std::string& id) {
    // Aravis's in-process fake camera ("Fake_1"), a camera with no network
    // address, for trying the library without one: its interface is off
    // unless asked for.
    std::lock_guard lock(discovery_lock());
    if (opened_without_discovery(id)) arv_enable_interface("Fake");
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new(id.c_str(), &error);
    if (error) g_error_free(error);
    return camera;
}

uint32_t positive(gint value) { return value > 0 ? static_cast<uint32_t>(value) : 1u; }

}  // namespace

std::unique_ptr<Connection> Connection::open(const std::string& name) {
    auto lost = std::make_unique<std::atomic<bool>>(false);
    auto doubted = std::make_unique<std::atomic<bool>>(false);
    ArvCamera* camera = is_ipv4_address(name) ? open_by_address(name) : open_by_id(name);
    if (!camera) return nullptr;
    std::unique_ptr<Connection> connection(new Connection(camera, std::move(lost), std::move(doubted)));
    connection->read_facts();
    make_stream_classes();
    return connection;
}

void Connection::make_stream_classes() {
    // Aravis registers its stream classes, and their signals, when the first
    // stream is made. Registered here, while the handle's opener waits for
    // the camera thread, they come before the toolkit's classes on the main
    // thread in an order ThreadSanitizer can see: GObject guards its type and
    // signal tables with futexes it cannot, so registering the two at once
    // would look like a race.
    for (GType type : {arv_gv_stream_get_type(), arv_uv_stream_get_type()}) g_type_class_unref(g_type_class_ref(type));
}

Connection::Connection(ArvCamera* camera, std::unique_ptr<std::atomic<bool>> lost,
                       std::unique_ptr<std::atomic<bool>> doubted)
    : camera_(camera), lost_(std::move(lost)), doubted_(std::move(doubted)) {
    ArvDevice* device = arv_camera_get_device(camera_);
    if (ARV_IS_GV_DEVICE(device))
        if (GSocketAddress* socket = arv_gv_device_get_device_address(ARV_GV_DEVICE(device))) {
            gchar* text = g_inet_address_to_string(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(socket)));
            address_ = text ? text : "";
            g_free(text);
        }
    if (ARV_IS_GV_DEVICE(device)) controls_ = arv_gv_device_is_controller(ARV_GV_DEVICE(device));
    lost_handler_ = g_signal_connect(device, "control-lost", G_CALLBACK(on_control_lost), doubted_.get());
}

Connection::~Connection() {
    stop_stream();
    ArvDevice* device = arv_camera_get_device(camera_);
    g_signal_handler_disconnect(device, lost_handler_);
    // The last reference: the device's threads are joined here, so no
    // callback can reach this object afterwards.
    g_object_unref(camera_);
}

std::string Connection::controller() {
    // GigE Vision's primary application registers: the controller's IPv4
    // address and its port.
    constexpr guint64 kPrimaryAddress = 0x0A14, kPrimaryPort = 0x0A10;
    ArvDevice* device = arv_camera_get_device(camera_);
    guint32 address = 0, port = 0;
    if (!ARV_IS_GV_DEVICE(device) ||
        !check([&](GError** e) { arv_device_read_register(device, kPrimaryAddress, &address, e); }))
        return "";
    check([&](GError** e) { arv_device_read_register(device, kPrimaryPort, &port, e); });
    return controller_text(address, port);
}

void Connection::on_control_lost(void*, void* flag) { static_cast<std::atomic<bool>*>(flag)->store(true); }

bool Connection::take_control_again() {
    ArvDevice* device = arv_camera_get_device(camera_);
    // Only a GigE Vision camera's heartbeat gives up while the camera answers.
    if (!ARV_IS_GV_DEVICE(device)) return false;
    if (!check([&](GError** e) { arv_gv_device_take_control(ARV_GV_DEVICE(device), e); })) return false;
    doubted_->store(false);
    return true;
}

template <typename Call>
bool Connection::check(Call call) {
    if (lost()) return false;
    GError* error = nullptr;
    call(&error);
    if (!error) return true;
    if (timed_out(error)) lost_->store(true);
    g_error_free(error);
    return false;
}

void Connection::read_facts() {
    CameraFacts facts;
    // Formats in the camera's order, its current one first: mode 0 is then
    // what the camera was set up for.
    guint n_values = 0, n_names = 0;
    gint64* values = nullptr;
    const char** names = nullptr;
    check([&](GError** e) { values = arv_camera_dup_available_pixel_formats(camera_, &n_values, e); });
    check([&](GError** e) { names = arv_camera_dup_available_pixel_formats_as_strings(camera_, &n_names, e); });
    ArvPixelFormat current = 0;
    check([&](GError** e) { current = arv_camera_get_pixel_format(camera_, e); });
    std::vector<OfferedFormat> formats;
    for (guint i = 0; i < n_values && i < n_names; ++i) {
        OfferedFormat format{static_cast<uint32_t>(values[i]), names[i] ? names[i] : ""};
        facts.offered_formats.push_back(format.name);
        if (format.value == current)
            formats.insert(formats.begin(), format);
        else
            formats.push_back(format);
    }
    g_free(values);
    g_free(names);

    const char* vendor = nullptr;
    const char* model = nullptr;
    check([&](GError** e) { vendor = arv_camera_get_vendor_name(camera_, e); });
    check([&](GError** e) { model = arv_camera_get_model_name(camera_, e); });
    facts.model = std::string(vendor ? vendor : "") + (vendor && model ? " " : "") + (model ? model : "");
    const char* serial = nullptr;
    check([&](GError** e) { serial = arv_camera_get_device_serial_number(camera_, e); });
    facts.serial = serial ? serial : "";

    CameraGeometry geometry;
    gint sensor_width = 0, sensor_height = 0;
    if (!check([&](GError** e) { arv_camera_get_sensor_size(camera_, &sensor_width, &sensor_height, e); }) ||
        sensor_width <= 0 || sensor_height <= 0) {
        gint min = 0;
        check([&](GError** e) { arv_camera_get_width_bounds(camera_, &min, &sensor_width, e); });
        check([&](GError** e) { arv_camera_get_height_bounds(camera_, &min, &sensor_height, e); });
    }
    geometry.sensor_width = sensor_width > 0 ? static_cast<uint32_t>(sensor_width) : 0;
    geometry.sensor_height = sensor_height > 0 ? static_cast<uint32_t>(sensor_height) : 0;
    facts.sensor_width = geometry.sensor_width;
    facts.sensor_height = geometry.sensor_height;
    gint increment = 1;
    check([&](GError** e) { increment = arv_camera_get_width_increment(camera_, e); });
    geometry.width_increment = facts.x_rule.size_increment = positive(increment);
    increment = 1;
    check([&](GError** e) { increment = arv_camera_get_height_increment(camera_, e); });
    geometry.height_increment = facts.y_rule.size_increment = positive(increment);
    increment = 1;
    check([&](GError** e) { increment = arv_camera_get_x_offset_increment(camera_, e); });
    facts.x_rule.offset_increment = positive(increment);
    increment = 1;
    check([&](GError** e) { increment = arv_camera_get_y_offset_increment(camera_, e); });
    facts.y_rule.offset_increment = positive(increment);
    gint min = 1, max = 1;
    if (check([&](GError** e) { arv_camera_get_width_bounds(camera_, &min, &max, e); }))
        facts.x_rule.size_minimum = positive(min);
    if (check([&](GError** e) { arv_camera_get_height_bounds(camera_, &min, &max, e); }))
        facts.y_rule.size_minimum = positive(min);

    bool binning = false;
    check([&](GError** e) { binning = arv_camera_is_binning_available(camera_, e); });
    if (binning) {
        gint x_max = 1, y_max = 1;
        check([&](GError** e) { arv_camera_get_x_binning_bounds(camera_, &min, &x_max, e); });
        check([&](GError** e) { arv_camera_get_y_binning_bounds(camera_, &min, &y_max, e); });
        geometry.max_binning = positive(std::min(x_max, y_max));
    }
    facts.modes = build_modes(formats, geometry);

    // Gain in dB through Gain, for all channels where the camera has a
    // selector; a camera with only GainRaw reports its raw range.
    if (controls_ && has_feature(camera_, "GainSelector"))
        check([&](GError** e) { arv_camera_set_string(camera_, "GainSelector", "All", e); });
    double gain_min = 0, gain_max = 0;
    if (check([&](GError** e) { arv_camera_get_gain_bounds(camera_, &gain_min, &gain_max, e); })) {
        facts.gain_min = static_cast<float>(gain_min);
        facts.gain_max = static_cast<float>(gain_max);
    }
    double gain = 0;
    if (check([&](GError** e) { gain = arv_camera_get_gain(camera_, e); })) facts.gain = static_cast<float>(gain);
    double exposure_min = 0, exposure_max = 0;
    if (check([&](GError** e) { arv_camera_get_exposure_time_bounds(camera_, &exposure_min, &exposure_max, e); }) &&
        exposure_max > 0) {
        facts.exposure_min_us = exposure_min;
        facts.exposure_max_us = exposure_max;
    }
    facts.id_width = arv_camera_is_gv_device(camera_) ? IdWidth::gev16 : IdWidth::wide64;
    facts_ = std::move(facts);

    if (controls_)
        check([&](GError** e) { arv_camera_set_acquisition_mode(camera_, ARV_ACQUISITION_MODE_CONTINUOUS, e); });
}

bool Connection::set_exposure(uint32_t exposure_us) {
    const double clamped = std::clamp(static_cast<double>(exposure_us), facts_.exposure_min_us, facts_.exposure_max_us);
    return check([&](GError** e) { arv_camera_set_exposure_time(camera_, clamped, e); });
}

bool Connection::set_gain(float gain) {
    if (!std::isfinite(gain)) return false;
    const double clamped = std::clamp(static_cast<double>(gain), double{facts_.gain_min}, double{facts_.gain_max});
    return check([&](GError** e) { arv_camera_set_gain(camera_, clamped, e); });
}

std::optional<float> Connection::gain() {
    double gain = 0;
    if (!check([&](GError** e) { gain = arv_camera_get_gain(camera_, e); }) || !std::isfinite(gain)) return std::nullopt;
    return static_cast<float>(gain);
}

bool Connection::set_geometry(const Mode& mode, const Region& region) {
    if (streaming()) return false;
    bool binning = false;
    check([&](GError** e) { binning = arv_camera_is_binning_available(camera_, e); });
    if (binning && !check([&](GError** e) {
            arv_camera_set_binning(camera_, static_cast<gint>(mode.binning), static_cast<gint>(mode.binning), e);
        }))
        return false;
    if (!check([&](GError** e) { arv_camera_set_pixel_format(camera_, mode.pixel_format, e); })) return false;
    return check([&](GError** e) {
        arv_camera_set_region(camera_, static_cast<gint>(region.x0), static_cast<gint>(region.y0),
                              static_cast<gint>(region.cx), static_cast<gint>(region.cy), e);
    });
}

bool Connection::start_stream(FrameSink* sink) {
    if (streaming()) return true;
    // As the connection's first stream is made, Aravis has the camera send a
    // test packet of its packet size, and finds the largest that arrives when
    // that one does not; later streams (a change of region) keep the size.
    // A camera that cannot send test packets keeps its own.
    if (arv_camera_is_gv_device(camera_))
        arv_camera_gv_set_packet_size_adjustment(camera_, ARV_GV_PACKET_SIZE_ADJUSTMENT_ON_FAILURE_ONCE);
    GError* error = nullptr;
    ArvStream* stream = arv_camera_create_stream(camera_, nullptr, nullptr, &error);
    if (!stream) {
        if (error) g_error_free(error);
        return false;
    }
    // Missing packets are asked for again (GigE Vision resends), and the
    // socket buffer holds a whole frame, so a busy host drops fewer.
    if (ARV_IS_GV_STREAM(stream))
        g_object_set(stream, "packet-resend", ARV_GV_STREAM_PACKET_RESEND_ALWAYS, "socket-buffer",
                     ARV_GV_STREAM_SOCKET_BUFFER_AUTO, nullptr);
    guint payload = 0;
    check([&](GError** e) { payload = arv_camera_get_payload(camera_, e); });
    if (payload == 0) {
        g_object_unref(stream);
        return false;
    }
    packet_size_ = stream_port_ = 0;
    if (ARV_IS_GV_STREAM(stream)) {
        stream_port_ = arv_gv_stream_get_port(ARV_GV_STREAM(stream));
        check([&](GError** e) { packet_size_ = arv_camera_gv_get_packet_size(camera_, e); });
    }
    payload_ = payload;
    for (unsigned i = 0; i < kStreamBuffers; ++i) arv_stream_push_buffer(stream, arv_buffer_new(payload, nullptr));
    stream_ = stream;
    stop_receiving_ = false;
    receiver_ = std::thread(&Connection::receive, stream_, sink, &stop_receiving_);
    if (!check([&](GError** e) { arv_camera_start_acquisition(camera_, e); })) {
        stop_stream();
        return false;
    }
    return true;
}

void Connection::stop_stream() {
    if (!stream_) return;
    // A lost camera would only time out on the command.
    check([&](GError** e) { arv_camera_stop_acquisition(camera_, e); });  // skipped when lost
    stop_receiving_ = true;
    receiver_.join();
    g_object_unref(stream_);  // joins Aravis's stream thread and frees its buffers
    stream_ = nullptr;
}

void Connection::receive(ArvStream* stream, FrameSink* sink, const std::atomic<bool>* stop) {
    std::vector<uint8_t> staging;  // see checker_handover.h
    while (!stop->load()) {
        ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, kPopTimeoutUs);
        if (!buffer) continue;
        const ArvBufferStatus status = arv_buffer_get_status(buffer);
        if (partly_received(status)) {
            sink->on_image({nullptr, 0, 0, 0, 0, 0, 0, arv_buffer_get_frame_id(buffer), false});
        } else if (status == ARV_BUFFER_STATUS_SUCCESS &&
                   arv_buffer_get_payload_type(buffer) == ARV_BUFFER_PAYLOAD_TYPE_IMAGE) {
            size_t bytes = 0;
            const void* data = arv_buffer_get_image_data(buffer, &bytes);
            gint x = 0, y = 0, width = 0, height = 0;
            arv_buffer_get_image_region(buffer, &x, &y, &width, &height);
            if (data && width > 0 && height > 0)
                sink->on_image({handed_over(data, bytes, staging), bytes, static_cast<uint32_t>(width),
                                static_cast<uint32_t>(height), static_cast<uint32_t>(std::max(x, 0)),
                                static_cast<uint32_t>(std::max(y, 0)), arv_buffer_get_image_pixel_format(buffer),
                                arv_buffer_get_frame_id(buffer)});
        }
        arv_stream_push_buffer(stream, buffer);  // back to the camera at once
    }
}

double Connection::exposure_s() {
    double exposure_us = 0;
    check([&](GError** e) { exposure_us = arv_camera_get_exposure_time(camera_, e); });
    return exposure_us * 1e-6;
}

double Connection::frame_period_s() {
    double rate = 0;
    check([&](GError** e) { rate = arv_camera_get_frame_rate(camera_, e); });
    return rate > 0 && std::isfinite(rate) ? 1.0 / rate : 0.0;
}

uint32_t Connection::input_levels() {
    if (has_feature(camera_, "LineStatusAll")) {
        gint64 all = 0;
        check([&](GError** e) { all = arv_camera_get_integer(camera_, "LineStatusAll", e); });
        return static_cast<uint32_t>(all) & 0xFu;
    }
    if (!has_feature(camera_, "LineSelector") || !has_feature(camera_, "LineStatus")) return 0;
    guint n_lines = 0;
    const char** lines = nullptr;
    check([&](GError** e) {
        lines = arv_camera_dup_available_enumerations_as_strings(camera_, "LineSelector", &n_lines, e);
    });
    uint32_t levels = 0;
    // Input n is the line named Line<n-1>, else the n-th line listed.
    for (guint n = 0; n < 4; ++n) {
        const std::string wanted = "Line" + std::to_string(n);
        const char* line = nullptr;
        for (guint i = 0; i < n_lines && !line; ++i)
            if (wanted == lines[i]) line = lines[i];
        if (!line && n < n_lines) line = lines[n];
        if (!line) break;
        gboolean high = FALSE;
        if (check([&](GError** e) { arv_camera_set_string(camera_, "LineSelector", line, e); }) &&
            check([&](GError** e) { high = arv_camera_get_boolean(camera_, "LineStatus", e); }) && high)
            levels |= 1u << n;
    }
    g_free(lines);
    return levels;
}

std::vector<Trigger> Connection::triggers() {
    std::vector<Trigger> triggers;
    if (!has_feature(camera_, "TriggerMode")) return triggers;
    const auto text = [&](const char* feature) {
        const char* value = nullptr;
        if (has_feature(camera_, feature)) check([&](GError** e) { value = arv_camera_get_string(camera_, feature, e); });
        return std::string(value ? value : "");
    };
    if (!has_feature(camera_, "TriggerSelector")) {
        triggers.push_back({"", text("TriggerMode"), text("TriggerSource"), text("TriggerActivation")});
        return triggers;
    }
    // Each selector entry has a mode, source and activation of its own; the
    // selector is left as the camera had it.
    const std::string selected = text("TriggerSelector");
    guint n_selectors = 0;
    const char** selectors = nullptr;
    check([&](GError** e) {
        selectors = arv_camera_dup_available_enumerations_as_strings(camera_, "TriggerSelector", &n_selectors, e);
    });
    for (guint i = 0; i < n_selectors; ++i)
        if (check([&](GError** e) { arv_camera_set_string(camera_, "TriggerSelector", selectors[i], e); }))
            triggers.push_back({selectors[i], text("TriggerMode"), text("TriggerSource"), text("TriggerActivation")});
    g_free(selectors);
    if (!selected.empty())
        check([&](GError** e) { arv_camera_set_string(camera_, "TriggerSelector", selected.c_str(), e); });
    return triggers;
}

bool Connection::triggers_off() {
    return check([&](GError** e) { arv_camera_clear_triggers(camera_, e); });
}

bool Connection::auto_on(const char* feature) {
    if (!has_feature(camera_, feature)) return false;
    const char* value = nullptr;
    check([&](GError** e) { value = arv_camera_get_string(camera_, feature, e); });
    return value && std::string(value) != "Off";
}

bool Connection::auto_off(const char* feature) {
    return check([&](GError** e) { arv_camera_set_string(camera_, feature, "Off", e); });
}

}  // namespace genicam
