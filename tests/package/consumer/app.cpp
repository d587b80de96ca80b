// A program on the installed application library, which pulls in every component and the
// window and GL libraries. Given any argument it runs the application in the working
// directory; without one it only says that it linked.
#include <cstdio>
#include <vrenn/app/Application.h>
#include <vrenn/render/gl/GLRenderer.h>

namespace {
class ConsumerApp : public Vrenn::Application {};
} // namespace

int main(int argc, char**) {
    if (argc > 1) {
        ConsumerApp app;
        if (!app.Initialize()) return 1;
        app.Run();
        return 0;
    }
    std::printf("linked\n");
    return 0;
}
