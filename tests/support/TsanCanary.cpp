// A deliberate data race between a QThread and the main thread, so that the thread checker's
// suppressions are seen to leave it reported: the test that runs this passes only when
// ThreadSanitizer names the race. A suppression that hid races behind Qt would make it fail.
#include <QCoreApplication>
#include <QThread>

#include <cstdio>

namespace {
int shared = 0; // written by both threads without any synchronisation, on purpose

class Racer final : public QThread {
    void run() override { shared = 1; }
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Racer racer;
    racer.start();
    shared = 2;
    racer.wait();
    std::printf("shared = %d\n", shared);
    return 0;
}
