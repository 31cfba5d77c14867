#include "PictureCompare.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace caltrix::test {

namespace {
bool updating() { return qEnvironmentVariable("CALTRIX_UPDATE_PICTURES") == QLatin1String("1"); }

QString scaledName(const QString& name, qreal ratio)
{
    if (qFuzzyCompare(ratio, 1.0))
        return name;
    return name + QLatin1Char('@') + QString::number(ratio) + QLatin1Char('x');
}

int channelDistance(QRgb a, QRgb b)
{
    return std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
        std::abs(qAlpha(a) - qAlpha(b)) });
}

struct Comparison {
    int differing = 0;
    QImage diff; // the reference faded to grey, differing pixels in red
};

Comparison compare(const QImage& actual, const QImage& reference, int channel)
{
    Comparison result;
    result.diff = QImage(reference.size(), QImage::Format_ARGB32);
    for (int y = 0; y < reference.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
        const auto* r = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
        auto* d = reinterpret_cast<QRgb*>(result.diff.scanLine(y));
        for (int x = 0; x < reference.width(); ++x) {
            if (channelDistance(a[x], r[x]) > channel) {
                ++result.differing;
                d[x] = qRgb(255, 0, 0);
            } else {
                const int grey = 192 + qGray(r[x]) / 4;
                d[x] = qRgb(grey, grey, grey);
            }
        }
    }
    return result;
}

::testing::AssertionResult writeReference(const QImage& actual, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!actual.save(path, "PNG"))
        return ::testing::AssertionFailure() << "cannot write the reference picture " << path.toStdString();
    std::printf("updated reference picture %s: look at it before committing it\n", qPrintable(path));
    return ::testing::AssertionSuccess();
}
} // namespace

::testing::AssertionResult matchesReferencePicture(
    const QImage& grabbed, const QString& name, const PictureFolders& folders, PictureTolerance tolerance)
{
    const QString fileName = scaledName(name, grabbed.devicePixelRatio());
    const QString referencePath = folders.references + QLatin1Char('/') + fileName + QStringLiteral(".png");
    const QImage actual = grabbed.convertToFormat(QImage::Format_ARGB32);
    const QImage reference = QImage(referencePath).convertToFormat(QImage::Format_ARGB32);

    QString problem;
    Comparison comparison;
    if (reference.isNull()) {
        problem = QStringLiteral("there is no reference picture %1").arg(referencePath);
    } else if (reference.size() != actual.size()) {
        problem = QStringLiteral("the picture is %1 x %2, its reference %3 is %4 x %5")
                      .arg(actual.width())
                      .arg(actual.height())
                      .arg(referencePath)
                      .arg(reference.width())
                      .arg(reference.height());
    } else {
        comparison = compare(actual, reference, tolerance.channel);
        if (comparison.differing <= tolerance.differingPixels)
            return ::testing::AssertionSuccess();
        problem = QStringLiteral("%1 pixels differ from %2 by more than %3 in a channel (%4 allowed)")
                      .arg(comparison.differing)
                      .arg(referencePath)
                      .arg(tolerance.channel)
                      .arg(tolerance.differingPixels);
    }
    if (updating())
        return writeReference(actual, referencePath);

    QDir().mkpath(folders.results);
    const QString stem = folders.results + QLatin1Char('/') + fileName;
    actual.save(stem + QStringLiteral(".actual.png"), "PNG");
    QString written = stem + QStringLiteral(".actual.png");
    if (!comparison.diff.isNull()) {
        comparison.diff.save(stem + QStringLiteral(".diff.png"), "PNG");
        written += QStringLiteral(" and ") + stem + QStringLiteral(".diff.png");
    }
    return ::testing::AssertionFailure() << problem.toStdString() << ".\nThe picture it got: " << written.toStdString()
                                         << ".\nIf the new picture is right, `make pictures` makes it the reference.";
}

} // namespace caltrix::test
