#pragma once

#include "platform/Component.h"

#include <QByteArray>

namespace caltrix::platform {

// A picture that can copy another, kept as the bytes of its image file (PNG, JPEG, BMP or GIF).
// Only what shows it decodes the bytes (desktop/PictureImage.h), so that a program without
// windows can store and copy pictures without the GUI libraries.
class TPicture final : public TPersistent {
public:
    QString ClassName() const override { return QStringLiteral("TPicture"); }
    void Assign(const TPersistent* source) override;

    bool Empty() const { return data_.isEmpty(); }

    // The image file's bytes, empty for an empty picture.
    QByteArray Data() const { return data_; }
    // Empty bytes empty the picture. Throws platform::Error when the bytes do not start as an
    // image file of a known kind; the picture is then left as it was.
    void SetData(const QByteArray& data);

private:
    QByteArray data_;
};

} // namespace caltrix::platform
