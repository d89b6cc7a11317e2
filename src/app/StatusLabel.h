#pragma once

#include <QLabel>

namespace zandrel {

// A centred status line that is always readable whole: a text wider than the
// line keeps both its ends and loses its middle to "…". The label's text stays
// the full text, so procedures read back what they wrote and a screen reader
// hears all of it; the tooltip shows it too.
class StatusLabel : public QLabel {
    Q_OBJECT
public:
    explicit StatusLabel(QWidget* parent);
    QString shownText() const;  // the text as drawn

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

}  // namespace zandrel
