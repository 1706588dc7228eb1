// The about box: its pictures in the descriptor, its life with the
// connections, its texts, colours and clicks.

#include <QMouseEvent>
#include <QPointer>

#include "dialogs/forms.h"
#include "resources/version_info.h"
#include "tests/dialogs/dialog_fixture.h"

namespace orvex {
namespace {

using testing_support::DialogTest;
using testing_support::Find;

QImage Decode(const com::ComPtr<Picture>& picture) {
  const auto bytes = picture->Bytes();
  return QImage::fromData(bytes.data(), static_cast<int>(bytes.size())).convertToFormat(QImage::Format_ARGB32);
}

QImage Normal(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

TEST_F(DialogTest, TheDescriptorAndThePropertiesCommandCarryTheAboutBoxPictures) {
  auto& about = dialogs::AboutBox();
  auto info = connection_->iPC_Properties();
  EXPECT_EQ(Decode(info->Picture()), Normal(about.PluginImage()));
  EXPECT_EQ(Decode(info->Icon()), Normal(about.ListImage("icon")));
  EXPECT_EQ(Decode(info->LocationIcon()), Normal(about.ListImage("location")));
  auto command = info->Commands()->Item(1);
  EXPECT_EQ(Decode(command->Picture()), Normal(about.ListImage("settings")));
  EXPECT_EQ(Decode(command->DisabledPicture()), Normal(about.ListImage("settings_d")));
  for (const char* key : {"icon", "location", "settings", "settings_d"}) {
    EXPECT_EQ(about.ListImage(key).size(), QSize(16, 16)) << key;
  }
  EXPECT_FALSE(about.PluginImage().isNull());
  EXPECT_FALSE(about.isVisible());
}

TEST_F(DialogTest, DestroyingAnyConnectionUnloadsTheAboutBoxAndTheNextUseLoadsItAgain) {
  QPointer<dialogs::frmAbout> first(&dialogs::AboutBox());
  Connection::Create().reset();  // a second connection, created and destroyed
  EXPECT_TRUE(first.isNull());

  auto third = Connection::Create();
  EXPECT_FALSE(Decode(third->iPC_Properties()->Picture()).isNull());
  QPointer<dialogs::frmAbout> again(&dialogs::AboutBox());
  EXPECT_FALSE(again.isNull());
  EXPECT_EQ(Decode(third->iPC_Properties()->Icon()), Normal(again->ListImage("icon")));
}

class AboutBoxTest : public DialogTest {
 protected:
  AboutBoxTest() : about_(dialogs::AboutBox()) {
    dialogs::SetUrlOpener([this](const QString& address) { opened_ << address; });
    about_.show();
  }
  ~AboutBoxTest() override {
    dialogs::SetUrlOpener({});
    about_.hide();
  }
  QColor MakerColour() {
    auto* maker = Find<QLabel>(about_, "lblHaldenor");
    return maker->palette().color(maker->foregroundRole());
  }
  // Mouse events as the window system delivers them to a control.
  void Send(QWidget* widget, QEvent::Type type) {
    const QPointF inside(2, 2);
    QMouseEvent event(type, inside, widget->mapToGlobal(inside), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
  }
  void Point(QWidget* widget) { Send(widget, QEvent::MouseMove); }
  void ClickOn(QWidget* widget) {
    Send(widget, QEvent::MouseButtonPress);
    Send(widget, QEvent::MouseButtonRelease);
  }

  dialogs::frmAbout& about_;
  QStringList opened_;
};

TEST_F(AboutBoxTest, ShowsTheVersionAndCopyrightOfTheLibrary) {
  EXPECT_EQ(Find<QLabel>(about_, "lblVersion")->text(), QString("Version %1.%2.%3")
                                                             .arg(version::kMajor)
                                                             .arg(version::kMinor)
                                                             .arg(version::kRevision));
  EXPECT_EQ(Find<QLabel>(about_, "lblHaldenor")->text(), version::kCopyright);
  EXPECT_EQ(about_.windowTitle(), "About...");
}

TEST_F(AboutBoxTest, TheMakerLineLightensUnderThePointerUntilItReachesTheBareWindow) {
  EXPECT_EQ(MakerColour(), dialogs::frmAbout::kMakerColour);
  Point(Find<QWidget>(about_, "lblHaldenor"));
  EXPECT_EQ(MakerColour(), dialogs::frmAbout::kMakerHoverColour);
  Point(Find<QWidget>(about_, "Label1"));
  Point(Find<QWidget>(about_, "Image1"));
  EXPECT_EQ(MakerColour(), dialogs::frmAbout::kMakerHoverColour);
  Point(&about_);
  EXPECT_EQ(MakerColour(), dialogs::frmAbout::kMakerColour);
}

TEST_F(AboutBoxTest, ClicksOpenTheWebSiteOrHideTheBox) {
  struct Case {
    const char* target;  // empty: the bare window
    bool opens_site;
    bool stays_open;
  };
  const Case cases[] = {
      {"lblHaldenor", true, true}, {"Image1", false, true}, {"lblVersion", false, false},
      {"Label1", false, false},    {"", false, false},
  };
  for (const auto& c : cases) {
    opened_.clear();
    about_.show();
    ClickOn(*c.target ? Find<QWidget>(about_, c.target) : &about_);
    EXPECT_EQ(opened_, c.opens_site ? QStringList{version::kWebAddress} : QStringList{}) << c.target;
    EXPECT_EQ(about_.isVisible(), c.stays_open) << c.target;
  }
}

}  // namespace
}  // namespace orvex
