#include "Pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <jpeglib.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return; we jump
// back into decodeInto instead of letting the library call exit().
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings;
};

void onError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// Warnings (level -1) mean corrupt or truncated data; trace messages are ignored.
// Nothing is printed.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++reinterpret_cast<ErrorManager*>(cinfo->err)->warnings;
}

void onOutput(j_common_ptr) {}

constexpr unsigned long long maxPixels = 64ull * 1024 * 1024;

// Does the whole decompression. Only plain data lives in this frame, so the
// longjmp from onError skips no destructor; the image lives in the caller.
bool decodeInto(jpeg_decompress_struct* cinfo, ErrorManager* err, const unsigned char* bytes,
                unsigned long size, QImage* out)
{
    if (setjmp(err->jump))
        return false;

    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, const_cast<unsigned char*>(bytes), size);
    jpeg_read_header(cinfo, TRUE);

    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (static_cast<unsigned long long>(cinfo->image_width) * cinfo->image_height > maxPixels)
        return false;

    jpeg_start_decompress(cinfo);
    const int width = static_cast<int>(cinfo->output_width);
    const int height = static_cast<int>(cinfo->output_height);
    *out = QImage(width, height, QImage::Format_RGB888);
    if (out->isNull())
        return false;

    if (!cmyk) {
        while (cinfo->output_scanline < cinfo->output_height) {
            JSAMPROW row = out->scanLine(static_cast<int>(cinfo->output_scanline));
            jpeg_read_scanlines(cinfo, &row, 1);
        }
    } else {
        // Allocated from libjpeg's own pool, freed by jpeg_destroy_decompress.
        JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                        cinfo->output_width * 4, 1);
        // Adobe writes CMYK inverted (0 = full ink); so do nearly all CMYK JPEGs.
        const bool inverted = cinfo->saw_Adobe_marker;
        while (cinfo->output_scanline < cinfo->output_height) {
            uchar* dst = out->scanLine(static_cast<int>(cinfo->output_scanline));
            jpeg_read_scanlines(cinfo, buffer, 1);
            const JSAMPLE* src = buffer[0];
            for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                int c = src[0], m = src[1], y = src[2], k = src[3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    y = 255 - y;
                    k = 255 - k;
                }
                dst[0] = static_cast<uchar>(c * k / 255);
                dst[1] = static_cast<uchar>(m * k / 255);
                dst[2] = static_cast<uchar>(y * k / 255);
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return err->warnings == 0;
}

struct Entry {
    const char* name;
    const char* extension;
};

// The pictures of the window, with the format each is stored in.
constexpr Entry entries[] = {
    {"Image1", "jpg"},          {"Image2", "jpg"},        {"Image3", "jpg"},
    {"Image4", "jpg"},          {"Image5", "bmp"},        {"Image6", "bmp"},
    {"Image7", "bmp"},          {"Image8", "jpg"},        {"Image12", "bmp"},
    {"Image13", "bmp"},         {"Image14", "bmp"},       {"Image15", "bmp"},
    {"SpeedButton1", "bmp"},    {"SpeedButton2", "bmp"},  {"SpeedButton3", "bmp"},
    {"SpeedButton4", "bmp"},    {"SpeedButton5", "bmp"},  {"SpeedButton6", "bmp"},
    {"SpeedButton7", "bmp"},    {"SpeedButton8", "bmp"},  {"SpeedButton9", "bmp"},
    {"SpeedButton10", "bmp"},   {"SpeedButton11", "bmp"}, {"SpeedButton12", "bmp"},
    {"SpeedButton13", "bmp"},   {"SpeedButton14", "bmp"}, {"ToggleSwitch1Off", "bmp"},
    {"ToggleSwitch1On", "bmp"}, {"AppIcon", "png"},
};

const Entry* find(const QString& name)
{
    for (const Entry& e : entries)
        if (name == QLatin1String(e.name))
            return &e;
    return nullptr;
}

bool knownScale(int scale)
{
    return std::find(std::begin(kPictureScales), std::end(kPictureScales), scale) != std::end(kPictureScales);
}

// The stored format at a scale: 1x as the window has always read it; above, JPEG for the
// photographs and PNG for the rest.
QLatin1String extensionAt(const Entry& entry, int scale)
{
    const QLatin1String extension(entry.extension);
    if (scale == 1 || extension == QLatin1String("jpg"))
        return extension;
    return QLatin1String("png");
}

} // namespace

QImage decodeJpeg(const QByteArray& data)
{
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.pub.output_message = onOutput;

    QImage image;
    const bool ok = decodeInto(&cinfo, &err, reinterpret_cast<const unsigned char*>(data.constData()),
                               static_cast<unsigned long>(data.size()), &image);
    jpeg_destroy_decompress(&cinfo);
    return ok ? image : QImage();
}

const QStringList& pictureNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const Entry& e : entries)
            list << QLatin1String(e.name);
        return list;
    }();
    return names;
}

QByteArray pictureData(const QString& name, int scale)
{
    const Entry* entry = find(name);
    if (!entry || !knownScale(scale))
        return {};
    const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
    QFile file(QStringLiteral(":/pictures/%1%2.%3").arg(name, suffix, extensionAt(*entry, scale)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QImage picture(const QString& name, int scale)
{
    const Entry* entry = find(name);
    if (!entry)
        return {};
    const QByteArray data = pictureData(name, scale);
    if (data.isEmpty())
        return {};
    const QLatin1String extension = extensionAt(*entry, scale);
    QImage image;
    if (extension == QLatin1String("jpg")) {
        image = decodeJpeg(data);
    } else {
        // Read by Qt's own handler for the named format. Left to guess, the reader would first
        // load every image format plugin installed to ask whether it knows the data.
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, extension == QLatin1String("bmp") ? "bmp" : "png");
        reader.setAutoDetectImageFormat(false);
        image = reader.read();
    }
    if (scale != 1)
        image.setDevicePixelRatio(scale);
    return image;
}

namespace {

struct Job {
    int scale;
    std::promise<QHash<QString, QImage>> result;
};

QHash<QString, QImage> decodeAll(int scale)
{
    QHash<QString, QImage> all;
    for (const QString& name : pictureNames()) {
        QImage image = picture(name, scale);
        if (image.format() == QImage::Format_RGB888)
            image.convertTo(QImage::Format_RGB32);
        all.insert(name, image);
    }
    return all;
}

// One thread for every decoding, alive until the process ends. With Qt 6.4 built by MinGW, a
// thread that Qt did not start and that has used Qt crashed inside Qt as it ended, in most
// starts of the Windows program; a thread that never ends is never cleaned up. Its state is
// never freed, so nothing is destroyed under it at exit.
struct Decoder {
    std::mutex m;
    std::condition_variable cv;
    std::deque<Job> jobs;
};

Decoder& decoder()
{
    static Decoder* d = [] {
        auto* state = new Decoder;
        std::thread([state] {
            for (;;) {
                std::unique_lock lock(state->m);
                state->cv.wait(lock, [state] { return !state->jobs.empty(); });
                Job job = std::move(state->jobs.front());
                state->jobs.pop_front();
                lock.unlock();
                job.result.set_value(decodeAll(job.scale));
            }
        }).detach();
        return state;
    }();
    return *d;
}

} // namespace

std::future<QHash<QString, QImage>> decodeAllPictures(int scale)
{
    Decoder& d = decoder();
    Job job{scale, {}};
    std::future<QHash<QString, QImage>> result = job.result.get_future();
    {
        std::lock_guard lock(d.m);
        d.jobs.push_back(std::move(job));
    }
    d.cv.notify_one();
    return result;
}
