// Draws the calibration window's logo once: a white roller with a speed needle and the word
// "Caltrix" on the red of the window's top band, 100 x 20 pixels, saved as a baseline JPEG.
// The program decodes the committed file; this is only how it was made:
//   g++ -std=c++20 -fPIC scripts/draw-logo.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw-logo
//   QT_QPA_PLATFORM=offscreen /tmp/draw-logo src/app/resources/logo.jpg
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QImage logo(100, 20, QImage::Format_RGB32);
    logo.fill(QColor(0xFF, 0x00, 0x00));
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    // The roller: a ring with a needle pointing up and to the right.
    p.setPen(QPen(Qt::white, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(10, 9.5), 6.5, 6.5);
    p.drawLine(QPointF(10, 9.5), QPointF(14, 5));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(10, 9.5), 1.6, 1.6);
    // The word, in a bold sans-serif, with a thin underline that stops under the x.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    font.setItalic(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(20, 0, 76, 17), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Caltrix"));
    p.setPen(QPen(QColor(0xFF, 0xD0, 0xD0), 1));
    p.drawLine(QPointF(21, 16.5), QPointF(83, 16.5));
    p.end();
    return logo.save(QString::fromLocal8Bit(argv[1]), "JPEG", 92) ? 0 : 1;
}
