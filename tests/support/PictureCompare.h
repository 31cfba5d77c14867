#pragma once

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace caltrix::test {

// How far a picture may stray from its reference: pixels whose largest channel difference
// (red, green, blue or alpha, 0..255) exceeds `channel` count as differing, and at most
// `differingPixels` of them are allowed. Where text is drawn, allow a little of both: font
// rasterisers differ slightly between versions.
struct PictureTolerance {
    int channel = 0;
    int differingPixels = 0;
};

// Where a test's reference pictures lie (in the source tree) and where a failed comparison
// leaves what it got (in the build tree).
struct PictureFolders {
    QString references;
    QString results;
};

// Compares `actual` with the reference picture `<references>/<name>.png`; a picture grabbed at a
// device pixel ratio other than 1 compares with `<name>@<ratio>x.png` instead. On a mismatch it
// writes `<name>.actual.png` and `<name>.diff.png` (differing pixels in red over a faded
// reference) into `results` and names them in the failure message.
// With CALTRIX_UPDATE_PICTURES=1 in the environment, a missing or mismatching reference is
// written from `actual` instead and the comparison passes: look at the new pictures before
// committing them.
::testing::AssertionResult matchesReferencePicture(
    const QImage& actual, const QString& name, const PictureFolders& folders, PictureTolerance tolerance = {});

} // namespace caltrix::test

// A test target set up with caltrix_test_pictures() in CMake knows its folders.
#if defined(CALTRIX_REFERENCE_PICTURES) && defined(CALTRIX_RESULT_PICTURES)
namespace caltrix::test {
inline ::testing::AssertionResult matchesReferencePicture(
    const QImage& actual, const QString& name, PictureTolerance tolerance = {})
{
    return matchesReferencePicture(actual, name,
        { QStringLiteral(CALTRIX_REFERENCE_PICTURES), QStringLiteral(CALTRIX_RESULT_PICTURES) }, tolerance);
}
} // namespace caltrix::test
#endif
