#pragma once

#include <QFrame>
#include <QString>

class QVBoxLayout;

namespace quorilanth {

class SpacedText;

// A titled card: the title in capitals over the content, on a rounded panel.
class Panel : public QFrame {
    Q_OBJECT
public:
    explicit Panel(const QString& title, QWidget* content = nullptr, QWidget* parent = nullptr);
    void setTitle(const QString& title);
    QString title() const;
    // The card takes ownership; any earlier content is deleted later.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SpacedText* title_;
    QVBoxLayout* layout_;
    QWidget* content_ = nullptr;
};

} // namespace quorilanth
