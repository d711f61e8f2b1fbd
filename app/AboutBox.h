#pragma once
// The About box: program name and version, a notice line and two credit lines.
#include <QDialog>

class QLabel;
class QPushButton;

class TfrmAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmAboutBox(QWidget* parent = nullptr);

    QLabel* imgIcon;
    QLabel* lblCESetup;
    QLabel* lblNotice;
    QLabel* lblThanks;
    QLabel* lblThank1;
    QLabel* lblThank2;
    QPushButton* btnOK;
};

// A fresh box owned by parent, shown modally and destroyed when the user closes it.
void ShowAboutBox(QWidget* parent);
