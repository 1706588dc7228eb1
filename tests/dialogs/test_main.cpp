// Dialog tests run on Qt's offscreen platform: no display needed, the same in
// CI as on a desktop.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "dialogs/forms.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  orvex::dialogs::UnloadAboutBox();
  return result;
}
