// File "Import Hosts...": what a directory file holds, before anything is written. Each
// usable entry can be ticked off and renamed; entries that cannot be used say why. Passwords
// are offered unticked: the settings file keeps them as plain text.
#pragma once

#include "config/HostImport.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QTableWidget;

class TImportHostsDlg : public QDialog
{
    Q_OBJECT

public:
    TImportHostsDlg(THostInfo &hosts, TImportFile file, const QString &fileName, QWidget *parent = nullptr);

    QTableWidget *Table() const { return FTable; }
    QCheckBox *Passwords() const { return cbPasswords; }
    // After OK: how many hosts were added.
    int Added() const { return FAdded; }

    void accept() override;

private:
    THostInfo &FHosts;
    TImportFile FFile;
    std::vector<TImportPlan> FPlan;
    QTableWidget *FTable = nullptr;
    QCheckBox *cbPasswords = nullptr;
    QLabel *lbSummary = nullptr;
    int FAdded = 0;

    void Fill();
    std::vector<std::string> WantedNames() const;
};
