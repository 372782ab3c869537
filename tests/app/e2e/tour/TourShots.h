// TourShots: the tour's pictures of the program's windows, saved for review with a page that shows them.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

namespace e2etour {

// One saved picture: its file name ("NN-<window>.png") and what it shows.
struct Shot {
    QString file;
    QString caption;
};

// Pictures go into one folder, numbered in the order taken. The folder is emptied of an earlier tour's
// pictures first, so that what a reviewer finds there is this run's alone.
class TourShots {
public:
    explicit TourShots(QString folder);

    const QString& Folder() const { return folder_; }

    // Saves what the window shows now as the next "NN-<name>.png"; false, with the reason in Failures(),
    // when it cannot be saved.
    bool Take(const QString& name, const QString& caption, QWidget& window);
    // A line under the pictures on the page (what the reviewer should know about the run).
    void AddNote(const QString& note) { notes_ << note; }
    // index.html: every picture under its number and caption, then the notes.
    bool WriteIndex();

    const std::vector<Shot>& Shots() const { return shots_; }
    const QStringList& Failures() const { return failures_; }
    // Whether the picture the tour saved under this name was taken.
    bool Has(const QString& name) const;

private:
    QString folder_;
    std::vector<Shot> shots_;
    QStringList notes_;
    QStringList failures_;
};

// Every pixel of the image has one colour (a window grabbed before anything was painted on it).
bool IsOneFlatColour(const QImage& image);

}  // namespace e2etour
