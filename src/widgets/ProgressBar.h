#pragma once

#include <QColor>
#include <QProgressBar>

namespace caltrix::widgets {

// A progress bar with a one-pixel border in the palette's button-shadow colour drawn over the
// style's frame. It shows no percentage text. Main thread only.
class ProgressBar final : public QProgressBar {
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    QColor borderColor() const { return border_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor border_;
};

} // namespace caltrix::widgets
