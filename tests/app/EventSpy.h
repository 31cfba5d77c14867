#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

// Counts the events of one type that reach a watched object (for the application object: every
// object's events pass by) and calls a handler for each. Main thread only.
class EventSpy final : public QObject {
public:
    EventSpy(QObject* watched, QEvent::Type type, std::function<void(QObject*)> onEvent = {})
        : type_(type)
        , onEvent_(std::move(onEvent))
    {
        watched->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == type_) {
            ++count;
            if (onEvent_)
                onEvent_(object);
        }
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void(QObject*)> onEvent_;
};
