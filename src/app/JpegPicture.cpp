#include "app/JpegPicture.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace caltrix::app {

namespace {

// The compiled-in logo (see the resource list of the application library).
const QString LogoResource = QStringLiteral(":/caltrix/logo.jpg");

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// the decoder's set-up point with the message kept here. Plain data only, so the jump skips no
// destructor.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onFatalError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (such as a premature end of data, which libjpeg fills with grey) make the picture
// damaged for us: treat them like errors.
void onMessage(j_common_ptr info, int level)
{
    if (level < 0)
        onFatalError(info);
}

struct Decoder {
    jpeg_decompress_struct info {};
    ErrorManager errors {};
    QImage image;
    QString tooLarge;
};

// Runs libjpeg from the header to the last row. The jump target lives here, and this function
// keeps no objects of its own: everything it changes is in `d`, which outlives the jump.
bool runDecoder(Decoder& d, QByteArrayView data)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d.info, TRUE);
    if (d.info.image_width > MaxJpegSide || d.info.image_height > MaxJpegSide) {
        d.tooLarge = QStringLiteral("the picture is %1 x %2 pixels, more than %3 in a direction")
                         .arg(d.info.image_width)
                         .arg(d.info.image_height)
                         .arg(MaxJpegSide);
        return false;
    }
    d.info.out_color_space = JCS_EXT_RGBX; // the byte order of QImage::Format_RGBX8888
    jpeg_start_decompress(&d.info);
    d.image = QImage(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height), QImage::Format_RGBX8888);
    if (d.image.isNull())
        return false;
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = d.image.scanLine(static_cast<int>(d.info.output_scanline));
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

} // namespace

QImage DecodeJpeg(QByteArrayView data, QString& error)
{
    Decoder d;
    d.info.err = jpeg_std_error(&d.errors.pub);
    d.errors.pub.error_exit = onFatalError;
    d.errors.pub.emit_message = onMessage;
    const bool decoded = !data.isEmpty() && runDecoder(d, data);
    jpeg_destroy_decompress(&d.info);
    if (decoded)
        return d.image;
    if (data.isEmpty())
        error = QStringLiteral("there are no picture bytes");
    else if (!d.tooLarge.isEmpty())
        error = d.tooLarge;
    else if (d.errors.message[0] != '\0')
        error = QString::fromLocal8Bit(d.errors.message);
    else
        error = QStringLiteral("there is not enough memory for the picture");
    return {};
}

QImage LoadLogo()
{
    QFile file(LogoResource);
    QString error;
    QImage logo;
    if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else
        logo = DecodeJpeg(file.readAll(), error);
    if (logo.isNull())
        std::fprintf(stderr, "caltrix: the logo picture cannot be shown (%s); its box stays empty.\n", qPrintable(error));
    return logo;
}

} // namespace caltrix::app
