#pragma once

#include "platform/Component.h"

#include <QByteArray>
#include <QImage>

namespace caltrix::platform {

// A picture that can copy another; stored as PNG bytes.
class TPicture final : public TPersistent {
public:
    QString ClassName() const override { return QStringLiteral("TPicture"); }
    void Assign(const TPersistent* source) override;

    const QImage& Image() const { return image_; }
    void SetImage(const QImage& image) { image_ = image; }
    bool Empty() const { return image_.isNull(); }

    // PNG bytes, empty for an empty picture.
    QByteArray Data() const;
    // Throws platform::Error when the bytes are not a picture.
    void SetData(const QByteArray& data);

private:
    QImage image_;
};

} // namespace caltrix::platform
