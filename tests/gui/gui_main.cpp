// The GUI tests run on the offscreen platform, with or without a display.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLoggingCategory>
#include <string>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The web view's engine: no sandbox (the tests may run as root), no GPU,
  // and quiet.
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
  qputenv("QT_QUICK_BACKEND", "software");
  qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
  // The engine's module as built beside the program.
  qputenv("VELLUMARK_WEB_MODULE", VELLUMARK_WEB_MODULE_FILE);
  if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/vellumark-test-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    chmod(dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir.c_str());
  }
  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  // The engine's library turns its start-up report on for itself.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
