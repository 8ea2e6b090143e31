// CSettingForm.cpp: the settings dialog's resource and handlers.
#include "config/CSettingForm.h"

#include "config/CData.h"

namespace {

constexpr const char* kKey = "main";
constexpr const char* kCurrentFile = "edtCurrentScrSav";
constexpr const char* kIgnoreMouseMove = "ckbIgnoreMouseMove";

TControlResource control(const char* name, TControlKind kind, const char* parent, int left, int top, int width,
    int height, const char* text, int tabOrder)
{
    TControlResource made;
    made.Name = name;
    made.Kind = kind;
    made.Parent = parent;
    made.Left = left;
    made.Top = top;
    made.Width = width;
    made.Height = height;
    made.Text = text;
    made.TabOrder = tabOrder;
    return made;
}

TDialogResource makeResource()
{
    using K = TControlKind;
    TDialogResource r;
    r.push_back(control("Panel1", K::Panel, "", 0, 0, 0, 41, "", 0));
    r.back().AlignBottom = true;  // and no outer bevel
    r.push_back(control("Panel2", K::Panel, "", 8, 8, 345, 201, "", 1));
    r.back().RaisedBevel = true;
    r.push_back(control("GroupBox1", K::GroupBox, "Panel2", 16, 128, 305, 57, "", 0));
    r.push_back(control(kIgnoreMouseMove, K::CheckBox, "GroupBox1", 16, 24, 193, 17, "マウスを動かしても終了しない", 0));
    r.push_back(control("GroupBox2", K::GroupBox, "Panel2", 16, 16, 305, 97, "現在のスクリーンセーバーデータ", 1));
    r.push_back(control(kCurrentFile, K::Edit, "GroupBox2", 16, 24, 265, 20, "edtCurrentScrSav", 0));
    r.back().ReadOnly = true;  // only the open dialog changes the current file
    r.push_back(control("btnCurrentScrSav", K::Button, "GroupBox2", 208, 56, 75, 25, "変更...", 1));
    r.push_back(control("btnOk", K::Button, "Panel1", 56, 8, 75, 25, "OK", 0));
    r.back().Default = true;
    r.push_back(control("btnCancel", K::Button, "Panel1", 144, 8, 75, 25, "キャンセル", 1));
    r.back().Cancel = true;
    r.push_back(control("btnHelp", K::Button, "Panel1", 232, 8, 75, 25, "ヘルプ(&H)", 2));
    return r;
}

}  // namespace

TSettingForm::TSettingForm() : TForm("TSettingForm")
{
    Caption = "設定";
    Left = 430;
    Top = 244;
    Width = 370;
    Height = 285;
    Position = TPosition::poScreenCenter;
    BorderStyle = TFormBorderStyle::bsSizeable;
    HelpContext = 16;
    opdScrSavData.Filter = "スクリーンセーバーデータ(*.sdt)|*.sdt|すべてのファイル(*.*)|*.*";
    opdScrSavData.FilterIndex = 1;
    opdScrSavData.PathMustExist = true;
    opdScrSavData.FileMustExist = true;
}

TSettingForm::~TSettingForm()
{
    // A form destroyed without closing (the loop was terminated) still lets go of Data.
    if (data_ && Data == data_.get())
        Data = nullptr;
}

const TDialogResource& TSettingForm::Resource()
{
    static const TDialogResource resource = makeResource();
    return resource;
}

void TSettingForm::Loaded()
{
    view_ = CreateControls(Resource());
    if (view_ == nullptr && Application != nullptr)
        Application->Post([this] { Close(); });
}

void TSettingForm::FormCreate()
{
    data_ = std::make_unique<TData>();
    Data = data_.get();
    Application->SetHelpFile(getMakePath(*Data) + "rororade.hlp");
    // A read that fails leaves this control and the next in their resource state.
    const std::string currentFile = Data->regManage().readString(kKey, "filename0", "");
    if (view_ != nullptr)
        view_->SetText(kCurrentFile, currentFile);
    const bool ignoreMouseMove = Data->regManage().readBool(kKey, "ignoreMouseMove", false);
    if (view_ != nullptr)
        view_->SetChecked(kIgnoreMouseMove, ignoreMouseMove);
}

void TSettingForm::FormClose()
{
    if (Data == data_.get())
        Data = nullptr;
    data_.reset();
}

void TSettingForm::ControlClick(const std::string& control)
{
    if (control == "btnCurrentScrSav")
        btnCurrentScrSavClick();
    else if (control == "btnOk")
        btnOkClick();
    else if (control == "btnCancel")
        btnCancelClick();
    else if (control == "btnHelp")
        btnHelpClick();
}

void TSettingForm::btnCurrentScrSavClick()
{
    if (const auto chosen = view_->RunOpenDialog(opdScrSavData)) {
        opdScrSavData.FileName = *chosen;
        view_->SetText(kCurrentFile, *chosen);
    }
}

void TSettingForm::btnOkClick()
{
    // Both values every time, changed or not; a failed write skips the rest
    // and the dialog stays open.
    Data->regManage().writeString(kKey, "filename0", view_->Text(kCurrentFile));
    Data->regManage().writeBool(kKey, "ignoreMouseMove", view_->Checked(kIgnoreMouseMove));
    Close();
}

void TSettingForm::btnCancelClick()
{
    Close();
}

void TSettingForm::btnHelpClick()
{
    Application->HelpContext(HelpContext);
}

std::string getMakePath(TData& data)
{
    return data.regManage().readString(kKey, "makepath", "");
}
