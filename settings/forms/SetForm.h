#pragma once

#include "Form.h"

class QCheckBox;
class QLineEdit;

// "設定": the check interval (Text2, minutes, 0 = off) and the hang-up choice (Check1). Its controls are
// the live store of both settings for the whole program. It has no OK button: closing it saves.
class SetForm final : public Form {
    Q_OBJECT

public:
    explicit SetForm(QWidget *parent = nullptr);

    // Fills Check1 and Text2 from the check settings file; setting Text2 carries the interval to the
    // main window through intervalChanged.
    void load();

    int check1Value() const;
    void setCheck1(bool checked);
    QString text2() const;
    void setText2(const QString &text);
    const QString &iniPath() const { return m_iniPath; }

signals:
    // A change of Text2 to a value of 0 or more; the main window shows it and switches its timer.
    void intervalChanged(bool on, const QString &text);
    void idPassRequested();
    void serverRequested();

protected:
    void unloadHandler() override;

private:
    void text2Changed(const QString &text);

    QString m_iniPath;
    QCheckBox *m_check1;
    QLineEdit *m_text2;
};
