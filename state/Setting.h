// The settings dialog: whether the input list and the output directories are saved when the program ends.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>

namespace velquin::state {

class StateFiles;

class Setting : public QDialog
{
    Q_OBJECT

public:
    /// Loads the check boxes from "set.txt".
    Setting(const StateFiles& files, QWidget* parent = nullptr);

    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;

public slots:
    void OKButton_Click();
    void CancelButton_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();

    const StateFiles& m_files;
};

} // namespace velquin::state
