// File "Directory...": every saved host in a table that can be searched and sorted, with what
// the program remembers of each (last connection, calls, comment, last Check). A double click
// connects, as the Hosts menu does. "Check" probes every host in the background and shows what
// answered as the results come in.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class THostInfo;
class THostChecks;
struct TProbeResult;

class TDirectoryWindow : public QWidget
{
    Q_OBJECT

public:
    enum TColumn {
        coName,
        coAddress,
        coConnection,
        coTerminal,
        coLastConnected,
        coCalls,
        coComment,
        coChecked,
        coCheck,
        coCount
    };

    // configFolder holds the trust files the Check compares keys and certificates with.
    TDirectoryWindow(THostInfo &hosts, std::string configFolder, QWidget *parent = nullptr);
    ~TDirectoryWindow() override;

    // Connect (double click, Enter or the Connect button) with the host's name.
    std::function<void(const std::string &name)> OnConnect;
    // Import... asks the main window's import command.
    std::function<void()> OnImport;

    // Reads the host list again (after Setup Hosts or an import), keeping the search.
    void Reload();
    void Check();
    void ExportHosts();
    bool Checking() const { return FPending > 0; }

    QTableWidget *Table() const { return FTable; }
    QLineEdit *Search() const { return edSearch; }
    QPushButton *CheckButton() const { return btCheck; }
    // The row of a host; -1 when it has none.
    int RowOf(const std::string &name) const;

private:
    THostInfo &FHosts;
    std::string FConfigFolder;
    QTableWidget *FTable = nullptr;
    QLineEdit *edSearch = nullptr;
    QPushButton *btCheck = nullptr;
    QLabel *lbStatus = nullptr;
    std::unique_ptr<THostChecks> FProber;
    std::vector<std::string> FChecked; // the names of the run under way, by probe index
    int FPending = 0;
    bool FFilling = false;

    void Filter();
    void ConnectCurrent();
    void CheckResult(size_t index, const TProbeResult &result);
};
