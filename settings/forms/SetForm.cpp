#include "SetForm.h"

#include "ColourButton.h"
#include "LeadingNumber.h"
#include "ProfileFile.h"
#include "ProgramFont.h"
#include "ProgramPaths.h"
#include "SettingsKeys.h"
#include "Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

const QColor Grey(192, 192, 192);

} // namespace

SetForm::SetForm(QWidget *parent) : Form(parent)
{
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("設定"));
    setClientSizeTwips(3105, 2580);
    QPalette background = palette();
    background.setColor(QPalette::Window, Grey);
    setPalette(background);
    setAutoFillBackground(true);

    auto *command2 = new ColourButton(QStringLiteral("POPサーバー"), QColor(128, 128, 255), this);
    command2->setObjectName(QStringLiteral("Command2"));
    auto *command1 = new ColourButton(QStringLiteral("ID/PASS"), QColor(255, 128, 0), this);
    command1->setObjectName(QStringLiteral("Command1"));
    m_check1 = new QCheckBox(this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setAccessibleName(QStringLiteral("新着がなければ接続を切断する。"));
    auto *label1 = colouredLabel(QStringLiteral("新着がなければ接続を切断する。"), "Label1", QColor(0, 0, 255), this);
    // A one-pixel rule in the window text colour, like a drawn line.
    auto *line1 = new QWidget(this);
    line1->setObjectName(QStringLiteral("Line1"));
    QPalette linePalette = line1->palette();
    linePalette.setColor(QPalette::Window, linePalette.color(QPalette::WindowText));
    line1->setPalette(linePalette);
    line1->setAutoFillBackground(true);
    auto *label5 = colouredLabel(QStringLiteral("インターバルメールチェック"), "Label5", QColor(255, 0, 0), this);
    label5->setFont(ProgramFont::font(9, true));
    auto *label3 =
        colouredLabel(QStringLiteral("０以上の数字を入力すると、その間隔で自動的にメールチェックを行います。"
                                     "チェックの都度手動で行う場合は０にしておいて下さい。（単位は分です。）"),
                      "Label3", QColor(0, 0, 255), this);
    label3->setWordWrap(true);
    label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    auto *label2 = colouredLabel(QStringLiteral("分"), "Label2", QColor(255, 0, 0), this);

    place({
        {command2, 1560, 120, 1455, 375},
        {command1, 120, 120, 1455, 375},
        {m_check1, 120, 600, 255, 255},
        {label1, 480, 645, 2535, 255},
        {label5, 120, 1080, 2775, 375},
        {label3, 120, 1440, 2895, 855},
        {m_text2, 2040, 2280, 375, 270},
        {label2, 2520, 2325, 495, 255},
    });
    line1->setGeometry(0, Twips::toPixels(960), Twips::toPixels(3120), 1);
    setTabChain({command2, command1, m_check1, m_text2});

    connect(m_text2, &QLineEdit::textChanged, this, &SetForm::text2Changed);
    connect(command1, &QPushButton::clicked, this, &SetForm::idPassRequested);
    connect(command2, &QPushButton::clicked, this, &SetForm::serverRequested);
}

void SetForm::load()
{
    m_iniPath = ProgramPaths::folderSettingsFile();
    const ProfileFile settings(ProgramPaths::checkSettingsFile());
    if (const auto checked = SettingsKeys::checkBoxState(settings.readInt(SettingsKeys::HangUp)))
        m_check1->setChecked(*checked);
    m_text2->setText(QString::number(settings.readInt(SettingsKeys::Interval)));
}

int SetForm::check1Value() const
{
    return m_check1->isChecked() ? 1 : 0;
}

void SetForm::setCheck1(bool checked)
{
    m_check1->setChecked(checked);
}

QString SetForm::text2() const
{
    return m_text2->text();
}

void SetForm::setText2(const QString &text)
{
    m_text2->setText(text);
}

void SetForm::text2Changed(const QString &text)
{
    if (text.isEmpty()) {
        m_text2->setText(QStringLiteral("0")); // runs this handler again before going on
        return;
    }
    const double value = LeadingNumber::of(text);
    if (value > 0) {
        emit intervalChanged(true, text);
    } else if (value == 0) {
        emit intervalChanged(false, text);
        ProfileFile(m_iniPath).removeKey(SettingsKeys::StaleMailProgram);
        ProfileFile(ProgramPaths::checkSettingsFile()).writeString(SettingsKeys::Interval, text);
    }
}

void SetForm::unloadHandler()
{
    ProfileFile settings(ProgramPaths::checkSettingsFile());
    settings.writeString(SettingsKeys::HangUp, SettingsKeys::checkBoxText(m_check1->isChecked()));
    ProfileFile(m_iniPath).removeKey(SettingsKeys::StaleMailProgram);
    settings.writeString(SettingsKeys::Interval, m_text2->text());
}
