// A hyperlink: its caption drawn literally, blue; light blue under the mouse; dark red once it
// has opened its address.
#pragma once

#include <QColor>
#include <QLabel>

namespace quillmoor {

class LinkLabel : public QLabel {
    Q_OBJECT

public:
    static constexpr QRgb normal_colour = qRgb(0, 0, 255);
    static constexpr QRgb hover_colour = qRgb(51, 153, 255);
    static constexpr QRgb visited_colour = qRgb(128, 0, 0);

    explicit LinkLabel(QWidget* parent = nullptr);

    QString address() const { return address_; }
    void set_address(const QString& address) { address_ = address; }
    // The colour the caption is drawn in now.
    QColor text_colour() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void update_colour();

    QString address_;
    bool hovered_ = false;
    bool visited_ = false;
};

} // namespace quillmoor
