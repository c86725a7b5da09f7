// widgetform: a window of the kit's window model holding every standard control, for the UI driver
// tests and screenshots. It runs on real windows, or on the scripted UI when TMBY_UI=script.
//
//   widgetform [--log FILE] [--stage] [--exit-after MS]
//
// The plain form ("Widget test form") shows a band with labels, a group box with an edit and a
// button, a sorted list, a radio group, a check box, a progress bar, a memo, a rich-text viewer, a
// tab strip, a bevel and Back / Next (default) / Cancel (cancel). --stage shows a stage window
// instead ("Stage test form", no border icons) with two pages hosted on its display panel: the
// first with an edit, Next and Cancel, the second with a radio group, Back and Finish; the stage
// refuses to close unless Finish or Cancel ended it.
//
// Every event goes to the log file as one line ("click BrowseBtn", "change edDestDir C:\x", ...),
// and at the end "result N"; the exit code is the modal result. --exit-after ends the form with
// Abort (3) after that many milliseconds (screenshots).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
// The port's method names are the kit's own; the API's ANSI/wide macros must not rename them.
#undef MessageBox
#undef DrawText
#undef TextOut

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "platform/script/script_ui.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/win32_port.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

using namespace tmby;
using namespace tmby::ui;

namespace {

std::ofstream g_log;

void Log(const std::string& line) {
  if (!g_log.is_open()) return;
  g_log << line << '\n';
  g_log.flush();
}

template <class T>
T* Make(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width,
        int height) {
  auto* c = new T(owner);
  c->SetName(name);
  c->SetBounds(left, top, width, height);
  c->SetParent(parent);
  return c;
}

const char kAgreement[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
    "\\f0\\fs18\\b LICENCE AGREEMENT\\b0\\par\\par "
    "This is the \\i widget test\\i0  licence. Caf\\'e9 cr\\'e8me, \\u26085?\\u26412?.\\par "
    "Read it all; then press Next.\\par}";

TButton* AddButton(TComponent* owner, TWinControl* parent, const char* name, const char* caption,
                   int left, int top) {
  auto* b = Make<TButton>(owner, parent, name, left, top, 75, 25);
  b->SetCaption(caption);
  b->OnClick.Set([name = std::string(name)](TComponent*) { Log("click " + name); });
  return b;
}

TForm* WidgetForm(TApplication& app) {
  auto* form = new TForm(&app);
  form->SetName("WidgetForm");
  form->SetCaption("Widget test form");
  form->SetBorderStyle(bsDialog);
  form->SetPosition(poScreenCenter);
  form->Font().SetName("MS Shell Dlg");
  form->SetClientWidth(520);
  form->SetClientHeight(400);

  auto* band = Make<TPanel>(form, form, "Header", 0, 0, 520, 40);
  band->SetAlign(alTop);
  band->SetBevelOuter(bvNone);
  band->SetColor(clWindow);
  auto* title = Make<TLabel>(form, band, "TitleLabel", 10, 4, 300, 16);
  title->Font().SetStyle(TFontStyles{fsBold});
  title->SetCaption("Every control the dialogs use");
  title->SetGLID(2);
  auto* script = Make<TLabel>(form, band, "ScriptLabel", 10, 21, 500, 16);
  script->SetCaption(
      "Unicode: Gr\xc3\xb6\xc3\x9f"
      "e \xe2\x80\x93 \xce\x95\xce\xbb\xce\xbb\xce\xb7\xce\xbd\xce\xb9\xce\xba\xce\xac "
      "\xe2\x80\x93 \xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb9");

  auto* group = Make<TGroupBox>(form, form, "gbDirectory", 10, 48, 300, 55);
  group->SetCaption("Destination Directory");
  auto* edit = Make<TEdit>(form, group, "edDestDir", 8, 22, 200, 21);
  edit->SetText("C:\\Program Files\\Widgets");
  edit->OnChange.Set([edit](TComponent*) { Log("change edDestDir " + edit->Text()); });
  AddButton(form, group, "BrowseBtn", "&Browse", 216, 20);

  auto* list = Make<TListBox>(form, form, "FolderListBox", 10, 112, 140, 100);
  list->SetSorted(true);
  list->SetItems({"Startup", "Accessories", "Games", "Administrative Tools"});
  list->OnClick.Set([list](TComponent*) {
    Log("select FolderListBox " + std::to_string(list->ItemIndex()) + " " +
        list->Items()[static_cast<size_t>(list->ItemIndex())]);
  });

  auto* radio = Make<TRadioGroup>(form, form, "RG", 160, 108, 150, 80);
  radio->SetCaption("Reboot");
  radio->SetItems({"Yes, reboot now", "No, later"});
  radio->SetItemIndex(1);
  radio->OnClick.Set(
      [radio](TComponent*) { Log("select RG " + std::to_string(radio->ItemIndex())); });

  auto* check = Make<TCheckBox>(form, form, "Agree", 160, 194, 150, 17);
  check->SetCaption("I &agree");
  check->OnClick.Set(
      [check](TComponent*) { Log(std::string("check Agree ") + (check->Checked() ? "1" : "0")); });

  auto* progress = Make<TProgressBar>(form, form, "ProgressBar1", 10, 220, 300, 16);
  progress->SetPosition(40);

  auto* memo = Make<TMemo>(form, form, "Notes", 10, 244, 300, 90);
  memo->SetLines({"First line of the memo", "Second line"});
  memo->SetScrollBars(ssVertical);

  auto* viewer = Make<TRichEdit>(form, form, "Agreement", 320, 48, 190, 190);
  viewer->SetReadOnly(true);
  viewer->SetScrollBars(ssVertical);
  viewer->SetRichText(kAgreement);

  auto* tabs = Make<TTabControl>(form, form, "Tabs", 320, 244, 190, 90);
  tabs->SetTabs({"One", "Two", "Three"});
  tabs->OnChange.Set([tabs](TComponent*) { Log("tab Tabs " + std::to_string(tabs->TabIndex())); });

  auto* bevel = Make<TBevel>(form, form, "Bevel1", 0, 350, 520, 2);
  bevel->SetShape(bsTopLine);

  AddButton(form, form, "BackBtn", "< Back", 264, 364);
  TButton* next = AddButton(form, form, "ProceedBtn", "Next >", 344, 364);
  next->SetDefault(true);
  next->SetModalResult(mrOk);
  TButton* cancel = AddButton(form, form, "CancelBtn", "Cancel", 432, 364);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  form->AfterConstruction();
  return form;
}

// A page hosted on the stage window's display panel.
TForm* Page(TForm* stage, TPanel* panel, const char* name, const char* caption) {
  auto* page = new TForm(stage);
  page->SetName(name);
  page->SetCaption(caption);
  page->SetHostForm(stage);
  page->SetBorderStyle(bsNone);
  page->Font().SetName("MS Shell Dlg");
  auto* label = Make<TLabel>(page, page, "TopLabel", 10, 10, 330, 30);
  label->SetWordWrap(true);
  label->SetAutoSize(false);
  label->SetBounds(10, 10, 330, 30);  // it sized itself to its empty caption when it was placed
  label->SetCaption(caption);
  page->AfterConstruction();
  page->HandleNeeded();
  page->SetBounds(panel->Left(), panel->Top(), panel->Width(), panel->Height());
  return page;
}

TForm* StageForm(TApplication& app) {
  auto* stage = new TForm(&app);
  stage->SetName("StageForm");
  stage->SetCaption("Stage test form");
  stage->SetBorderStyle(bsDialog);
  stage->SetBorderIcons({});
  stage->SetPosition(poScreenCenter);
  stage->SetClientWidth(360);
  stage->SetClientHeight(200);
  auto* tabs = Make<TTabControl>(stage, stage, "Tabs", 0, 0, 360, 0);
  tabs->SetAlign(alTop);
  tabs->SetVisible(false);
  auto* panel = Make<TPanel>(stage, stage, "DisplayPanel", 0, 0, 360, 200);
  panel->SetAlign(alClient);
  panel->SetColor(clYellow);
  stage->AfterConstruction();
  stage->OnCloseQuery.Set([stage](TComponent*, bool& can_close) {
    can_close = stage->ModalResult() == mrOk || stage->ModalResult() == mrAbort;
    if (!can_close) Log("close refused");
  });

  TForm* first = Page(stage, panel, "Page1", "First page: type a folder, then Next.");
  auto* edit = Make<TEdit>(first, first, "FolderEdit", 10, 50, 200, 21);
  edit->OnChange.Set([edit](TComponent*) { Log("change FolderEdit " + edit->Text()); });
  TForm* second = Page(stage, panel, "Page2", "Second page: choose, then Finish.");
  auto* radio = Make<TRadioGroup>(second, second, "RG", 10, 50, 200, 70);
  radio->SetItems(
      {"Yes, I would like to reboot windows", "No, I would not like to reboot windows"});
  radio->SetItemIndex(1);
  radio->OnClick.Set(
      [radio](TComponent*) { Log("select RG " + std::to_string(radio->ItemIndex())); });

  auto go = [stage, tabs](TForm* page, int index) {
    tabs->SetTabIndex(index);
    stage->SetCaption(page->Caption());
    page->BringToFront();
    page->SelectNext(true);  // as a page does when it is entered: the focus goes onto it
    Log("page " + std::to_string(index));
  };
  auto next = Make<TButton>(first, first, "ProceedBtn", 190, 165, 75, 25);
  next->SetCaption("Next >");
  next->SetDefault(true);
  next->OnClick.Set([=](TComponent*) { go(second, 1); });
  auto cancel = Make<TButton>(first, first, "CancelBtn", 275, 165, 75, 25);
  cancel->SetCaption("Cancel");
  cancel->SetCancel(true);
  cancel->OnClick.Set([stage](TComponent*) { stage->SetModalResult(mrAbort); });
  auto back = Make<TButton>(second, second, "BackBtn", 190, 165, 75, 25);
  back->SetCaption("< Back");
  back->OnClick.Set([=](TComponent*) { go(first, 0); });
  auto finish = Make<TButton>(second, second, "FinishBtn", 275, 165, 75, 25);
  finish->SetCaption("Finish");
  finish->SetDefault(true);
  finish->OnClick.Set([stage](TComponent*) { stage->SetModalResult(mrOk); });
  tabs->SetTabs({"Page1", "Page2"});
  first->Show();
  second->Show();
  go(first, 0);
  return stage;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  bool stage_mode = false;
  unsigned exit_after = 0;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--stage") stage_mode = true;
    if (arg == L"--exit-after" && i + 1 < argc)
      exit_after = static_cast<unsigned>(_wtoi(argv[++i]));
    if (arg == L"--log" && i + 1 < argc) {
      char path[MAX_PATH * 2] = {};
      WideCharToMultiByte(CP_ACP, 0, argv[++i], -1, path, sizeof path, nullptr, nullptr);
      g_log.open(path, std::ios::binary | std::ios::trunc);
    }
  }
  if (argv != nullptr) LocalFree(argv);
  platform::win32::Win32Platform port;
  platform::SetPort(&port);
  std::unique_ptr<platform::IUi> ui = platform::script::ScriptUi::FromEnvironment();
  if (ui == nullptr) ui = std::make_unique<platform::win32::Win32Ui>();
  platform::ScopedUi scoped(ui.get());
  TApplication app;
  app.SetTitle("Widget test");
  int result = 0;
  try {
    TForm* form = stage_mode ? StageForm(app) : WidgetForm(app);
    if (exit_after > 0) ui->StartTimer(exit_after, [form] { form->SetModalResult(mrAbort); });
    result = form->ShowModal();
  } catch (const std::exception& error) {
    Log(std::string("error ") + error.what());
    return 99;
  }
  Log("result " + std::to_string(result));
  return result;
}
