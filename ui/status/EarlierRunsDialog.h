#pragma once

#include <QDialog>
#include <QString>

class QTreeWidget;

// When a kept run started, from its file's name, in local time ("2026-12-07 12:30:00"); the
// file's name itself when it is not a kept run's.
QString keptRunStarted(const QString& path);

// "Open Earlier Run...": the runs kept in a directory, newest first, each by when it started,
// the profiles it submitted and the counts of its requests; "Other File..." opens any file of
// records.
class EarlierRunsDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { Started, Profiles, Requests };

    explicit EarlierRunsDialog(const QString& directory, QWidget* parent = nullptr);

    // Shows the dialog and returns the chosen run's file, or an empty text.
    static QString choose(QWidget* parent, const QString& directory);

    QTreeWidget* runs() const { return runs_; }
    QString chosen() const { return chosen_; }

private:
    void fill(const QString& directory);
    void accept() override;

    QTreeWidget* runs_ = nullptr;
    QString chosen_;
};
