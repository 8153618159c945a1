// The manual's own viewer: pages, pictures and links inside the program, so
// help works on every desktop. A page or picture missing from an
// installation is named in the window's note line.
#pragma once

#include <QTextBrowser>
#include <QWidget>

class QLabel;

namespace vx {

class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override;

signals:
    void loading();
    void missing(const QString& path);

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Pictures wider than the page are shown at its width; narrower ones as they are.
    void fitImages();
    bool fitPending_ = false;
};

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the page (an HTML file); its folder's index.html is the contents page.
    void showPage(const QString& path);
    void showNote(const QString& note);

    HelpBrowser* browser() const { return browser_; }
    QLabel* noteLabel() const { return note_; }

private:
    HelpBrowser* browser_;
    QLabel* note_;
    QString contents_;
};

}  // namespace vx
