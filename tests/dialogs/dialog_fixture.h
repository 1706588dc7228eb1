#pragma once
// A real Connection, initialised against a reference host in a temporary
// folder, and a stand-in for the user who answers the modal dialogs.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "dialogs/gui_runtime.h"
#include "tests/connection/host_fixture.h"

namespace orvex::testing_support {

// The control `name` of a dialog; fails the test when it is missing.
template <class Control>
Control* Find(QWidget& dialog, const char* name) {
  auto* control = dialog.findChild<Control*>(name);
  EXPECT_NE(control, nullptr) << name;
  return control;
}

// Replaces the text of a box as typing would (QTest's key clicks know ASCII
// only).
inline void Type(QWidget& dialog, const char* name, const QString& text) {
  auto* box = Find<QLineEdit>(dialog, name);
  box->selectAll();
  box->insert(text);
}

// Clicks near the left edge: a check box reacts to its box and caption only,
// not to the rest of a wide row.
inline void Click(QWidget& dialog, const char* name) {
  QWidget* control = Find<QWidget>(dialog, name);
  QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(std::min(6, control->width() / 2), control->height() / 2));
}

// The names of `names`' widgets in the order Tab visits them, starting at the
// first.
inline std::vector<std::string> FocusOrder(QWidget& dialog, const std::vector<std::string>& names) {
  std::vector<std::string> order;
  QWidget* first = Find<QWidget>(dialog, names.front().c_str());
  QWidget* widget = first;
  do {
    const std::string name = widget->objectName().toStdString();
    if (std::find(names.begin(), names.end(), name) != names.end()) order.push_back(name);
    widget = widget->nextInFocusChain();
  } while (widget && widget != first);
  return order;
}

class DialogTest : public ::testing::Test {
 protected:
  explicit DialogTest(const std::string& translations = "") : host_(translations) { Init(); }
  explicit DialogTest(MarkEveryText mark) : host_(mark) { Init(); }
  ~DialogTest() override { dialogs::SetModalHandler({}); }

  // From now on every modal dialog is shown and handed to `user`.
  void Answer(std::function<void(QDialog&)> user) { dialogs::SetModalHandler(std::move(user)); }
  // Answers the dialogs in turn; a dialog beyond the list fails the test.
  void AnswerInTurn(std::vector<std::function<void(QDialog&)>> users) {
    auto shared = std::make_shared<std::vector<std::function<void(QDialog&)>>>(std::move(users));
    auto next = std::make_shared<std::size_t>(0);
    Answer([shared, next](QDialog& dialog) {
      ASSERT_LT(*next, shared->size()) << "one dialog too many: " << dialog.objectName().toStdString();
      (*shared)[(*next)++](dialog);
    });
  }

  hostapp::ReferenceServices& services() { return host_.host().services(); }
  SettingsStore& store() { return host_.host().settings(); }
  com::ComPtr<_Connection> plugin() { return com::ComPtr<_Connection>(static_cast<_Connection*>(connection_.get())); }

  TemporaryHost host_;
  com::ComPtr<Connection> connection_;

 private:
  void Init() {
    connection_ = Connection::Create();
    connection_->iPC_Init(host_.host().plugin_interface(), "7", "ftp://server.example/pub");
  }
};

}  // namespace orvex::testing_support
