#pragma once

#include <QWidget>

namespace lorvanta {

// A pane whose content comes later (the Taal browser tree, the bol properties
// form): an empty white page with its name in grey, which takes the focus so
// that pane switching reaches it.
class CEmptyPane : public QWidget {
    Q_OBJECT

public:
    explicit CEmptyPane(const QString& caption, QWidget* parent = nullptr);

    const QString& Caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_caption;
};

} // namespace lorvanta
