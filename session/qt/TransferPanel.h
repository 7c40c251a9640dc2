// The panel over the terminal while a file transfer runs: file name, size, bytes done,
// rate, time left, a progress bar and Cancel; afterwards what became of the files, with the
// transfer tool's own words on a line of their own.
#pragma once

#include <QFrame>

struct TTransferProgress;
struct TTransferResult;
class QLabel;
class QProgressBar;
class QPushButton;

class TTransferPanel : public QFrame
{
    Q_OBJECT
public:
    explicit TTransferPanel(QWidget *parent = nullptr);

    void ShowProgress(const TTransferProgress &progress);
    // The transfer is over: the message stays until Close.
    void ShowResult(const TTransferResult &result);
    bool Finished() const { return FFinished; }
    // Shows it over the lower middle of its parent (the terminal), keeping there.
    void Show();

    // "5.0 MB", "12.3 KB", "512 bytes"; "1:05", "1:02:03".
    static QString Size(int64_t bytes);
    static QString Duration(int64_t seconds);

signals:
    void CancelClicked();
    void CloseClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Place();

    QLabel *FTitle, *FFile, *FDetails, *FCounts, *FTimes;
    QProgressBar *FBar;
    QPushButton *FButton;
    bool FFinished = false;
};
