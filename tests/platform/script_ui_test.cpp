#include "platform/script/script_ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/exceptions.h"
#include "support/scratch_dir.h"

namespace tmby::platform::script {
namespace {

// A window client that records what the adapter tells it.
struct Recorder : IUiWindowEvents {
  std::vector<std::string> events;
  IUiWindow* window = nullptr;
  bool close_hides = true;
  void NativePaint(ui::TCanvas& canvas) override {
    canvas.BrushColor = ui::clRed;
    canvas.FillRect({0, 0, 2, 2});
    events.push_back("paint");
  }
  void NativeActivate(bool active) override { events.push_back(active ? "on" : "off"); }
  void NativeCloseRequest() override {
    events.push_back("close");
    if (close_hides && window != nullptr) window->Show(show::kHide);
  }
  void NativeResized(const ui::TRect& bounds, ui::TSize) override {
    events.push_back("size " + std::to_string(bounds.Width()) + "x" +
                     std::to_string(bounds.Height()));
  }
};

// Sets (or with nullptr removes) an environment variable.
void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
#endif
}

FormWindowParams Params(const std::string& name) {
  FormWindowParams p;
  p.name = name;
  p.class_name = "TForm";
  p.caption = "Cap \"x\"";
  p.bounds = {-5, -5, 686, 510};
  p.bordered = false;
  return p;
}

std::vector<std::string> Lines(const std::ostringstream& out) {
  return ScriptUi::SplitLines(out.str());
}

TEST(ScriptUi, WritesWindowEventsToTheTranscript) {
  std::ostringstream out;
  ScriptUi ui(&out, {});
  Recorder rec;
  auto window = ui.CreateFormWindow(Params("mainForm"), &rec);
  rec.window = window.get();
  window->Show(show::kNormal);
  window->Show(show::kMaximized);
  window.reset();
  const std::vector<std::string> expected = {
      "window create mainForm TForm \"Cap \\\"x\\\"\" -5,-5 691x515 borderless",
      "window show mainForm",
      "window activate mainForm",
      "window maximize mainForm 0,0 1024x768",
      "window destroy mainForm",
  };
  EXPECT_EQ(Lines(out), expected);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"paint", "on", "size 1024x768", "paint"}));
  ASSERT_NE(ui.LastPaint("MAINFORM"), nullptr);
  EXPECT_EQ(ui.LastPaint("mainForm")->Width(), 1024);
  EXPECT_EQ(ui.LastPaint("mainForm")->Pixel(1, 1), 0x0000FFu);
}

TEST(ScriptUi, MessageBoxesTakeScriptedAnswersInOrderElseTheirDefault) {
  std::ostringstream out;
  ScriptUi ui(&out, {"# answers", "answer no", "", "answer Retry", "answer OK"});
  EXPECT_EQ(ui.MessageBox("Replace?\nSecond line", "Setup", mb::kYesNo | mb::kIconQuestion),
            id::kNo);
  // "Retry" is not a button of an OK box: the default is taken and the answer is used up.
  EXPECT_EQ(ui.MessageBox("Done", "Setup", mb::kOk), id::kOk);
  EXPECT_EQ(ui.MessageBox("Sure?", "Setup", mb::kYesNoCancel | mb::kDefButton3), id::kCancel);
  EXPECT_EQ(ui.MessageBox("Again?", "Setup", mb::kYesNo | mb::kDefButton2), id::kNo);
  const std::vector<std::string> lines = Lines(out);
  const std::vector<std::string> head(lines.begin(), lines.begin() + 4);
  EXPECT_EQ(head, (std::vector<std::string>{
                      "messagebox Question \"Setup\" buttons Yes,No default Yes",
                      "| Replace?",
                      "| Second line",
                      "answer No (script)",
                  }));
  EXPECT_EQ(lines[7], "answer OK (default)");
  EXPECT_EQ(lines.back(), "answer No (default)");
}

// The user who changes a disk: the box is in the transcript before the wait, and the answer comes
// only once the file is there.
TEST(ScriptUi, AnAnswerWhenAFileExistsWaitsForIt) {
  testing::ScratchDir dir("script_wait");
  const auto disk = (dir.path() / "disk2").string();
  std::ostringstream out;
  ScriptUi waiting(&out, {"answer Cancel when \"" + disk + "\"", "answer OK"});
  std::atomic<bool> inserted{false};
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    inserted = true;
    std::ofstream(disk) << "2";
  });
  EXPECT_EQ(waiting.MessageBox("Please insert disk 2", "Setup", mb::kOkCancel), id::kCancel);
  EXPECT_TRUE(inserted) << "answered before the disk was in";
  user.join();
  EXPECT_EQ(waiting.MessageBox("Done", "Setup", mb::kOk), id::kOk);
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1], "| Please insert disk 2");
  EXPECT_EQ(lines[2].rfind("script wait \"", 0), 0u) << lines[2];
  EXPECT_NE(lines[2].find("disk2\""), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3], "script waited");
  EXPECT_EQ(lines[4], "answer Cancel (script)");
  EXPECT_EQ(lines[7], "answer OK (script)");
  EXPECT_THROW(ScriptUi(&out, {"answer OK after x"}), Exception);
  EXPECT_THROW(ScriptUi(&out, {"answer OK when"}), Exception);
}

TEST(ScriptUi, RefusesScriptLinesItDoesNotUnderstand) {
  std::ostringstream out;
  EXPECT_THROW(ScriptUi(&out, {"answer maybe"}), Exception);
  EXPECT_THROW(ScriptUi(&out, {"press OK"}), Exception);
  EXPECT_THROW(ScriptUi(&out, {"press Alt+bc"}), Exception);
  EXPECT_NO_THROW(ScriptUi(&out, {"press Alt+\xd0\x9e", "press down"}));
  try {
    ScriptUi(&out, {"", "activate a b"});
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos);
  }
}

// The keyboard shortcut a caption marks: the character after a single '&', in any case, in the
// alphabets the kit's languages mark them in.
TEST(AccelChars, TheMarkedCharacterIgnoringCase) {
  EXPECT_EQ(platform::AccelCharOf("E&xisting Folders"), U'x');
  EXPECT_EQ(platform::AccelCharOf("&Browse"), U'b');
  EXPECT_EQ(platform::AccelCharOf("Save && E&xit"), U'x');
  EXPECT_EQ(platform::AccelCharOf("Tom && Jerry"), 0u);
  EXPECT_EQ(platform::AccelCharOf("Next >"), 0u);
  EXPECT_EQ(platform::AccelCharOf("Ends with &"), 0u);
  EXPECT_EQ(platform::AccelCharOf("\xe5\x8f\x82\xe7\x85\xa7(&B)"), U'b');  // 参照(&B)
  EXPECT_EQ(platform::AccelCharOf("&\xd0\x9e\xd0\xb1\xd0\xb7\xd0\xbe\xd1\x80"),
            U'\x43e');                                            // &Обзор
  EXPECT_EQ(platform::AccelCharOf("&\xce\xa6"), U'\x3c6');        // &Φ
  EXPECT_EQ(platform::AccelCharOf("&\xc3\x84nderung"), U'\xe4');  // &Änderung
  EXPECT_EQ(platform::AccelFold(U'\x401'), U'\x451');             // Ё
  EXPECT_EQ(platform::AccelFold(U'\xd7'), U'\xd7');               // ×, no letter
}

TEST(ScriptUi, ActionsRunWhenIdleThenTimersThenTheFrontWindowIsClosed) {
  std::ostringstream out;
  ScriptUi ui(&out, {"activate", "close other"});
  Recorder rec;
  auto window = ui.CreateFormWindow(Params("main"), &rec);
  rec.window = window.get();
  window->Show(show::kNormal);
  int fired = 0;
  ui.StartTimer(50, [&] { ++fired; });
  rec.events.clear();
  EXPECT_TRUE(ui.HandleMessage());  // activate: off, then on again
  EXPECT_EQ(rec.events, (std::vector<std::string>{"off", "on"}));
  EXPECT_TRUE(ui.HandleMessage());  // close other: no such window
  EXPECT_TRUE(ui.HandleMessage());  // the timer
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(ui.HandleMessage());   // nothing left: the front window is closed (hides here)
  EXPECT_FALSE(ui.HandleMessage());  // still nothing ends the loop
  EXPECT_EQ(ui.QuitCode(), kScriptExhaustedCode);
  const std::string text = out.str();
  EXPECT_NE(text.find("script activate main\n"), std::string::npos);
  EXPECT_NE(text.find("script close other: no such window is shown\n"), std::string::npos);
  EXPECT_NE(text.find("timer 50 ms\n"), std::string::npos);
  EXPECT_NE(text.find("script end: close main\n"), std::string::npos);
  EXPECT_NE(text.find("quit 3\n"), std::string::npos);
}

TEST(ScriptUi, PostQuitEndsTheLoopWithItsCode) {
  std::ostringstream out;
  ScriptUi ui(&out, {});
  ui.PostQuit(4);
  ui.PostQuit(9);  // the first quit counts
  EXPECT_FALSE(ui.HandleMessage());
  EXPECT_TRUE(ui.QuitPosted());
  EXPECT_EQ(ui.QuitCode(), 4);
}

TEST(ScriptUi, TheEnvironmentChoosesTheAdapterAndItsFiles) {
  const auto dir = std::filesystem::temp_directory_path() / "tmby_script_ui_env";
  std::filesystem::create_directories(dir);
  const auto script = (dir / "answers.txt").string();
  const auto transcript = (dir / "transcript.txt").string();
  std::ofstream(script) << "answer Cancel\r\n";
  SetEnv("TMBY_UI", nullptr);
  EXPECT_EQ(ScriptUi::FromEnvironment(), nullptr);
  SetEnv("TMBY_UI", "script");
  SetEnv("TMBY_UI_SCRIPT", script.c_str());
  SetEnv("TMBY_UI_TRANSCRIPT", transcript.c_str());
  {
    auto ui = ScriptUi::FromEnvironment();
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(ui->MessageBox("Go?", "T", mb::kOkCancel), id::kCancel);
  }
  std::string first;
  {
    std::ifstream in(transcript);
    std::getline(in, first);
  }
  EXPECT_EQ(first, "messagebox None \"T\" buttons OK,Cancel default OK");
  SetEnv("TMBY_UI_SCRIPT", (dir / "missing.txt").string().c_str());
  EXPECT_THROW(ScriptUi::FromEnvironment(), Exception);
  SetEnv("TMBY_UI", nullptr);
  SetEnv("TMBY_UI_SCRIPT", nullptr);
  SetEnv("TMBY_UI_TRANSCRIPT", nullptr);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tmby::platform::script
