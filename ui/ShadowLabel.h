#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

// A label whose text has a light shadow one pixel up and to the left.
// Word wrap within its width; what does not fit its height is cut off.
class TShadowLabel : public QWidget {
    Q_OBJECT
public:
    explicit TShadowLabel(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    // When on, the label takes the size of its caption (on one line unless wrapping,
    // where only the height follows the text).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    // "&" marks an accelerator when on; off suits captions such as file names.
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool on);
    QColor Color() const { return color_; }
    void SetColor(const QColor& c);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& c);

    std::function<void(QObject* Sender)> OnClick;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    int textFlags() const;
    void fitToCaption();

    QString caption_;
    bool wordWrap_ = false;
    bool autoSize_ = true;
    bool showAccelChar_ = false;
    bool leftPressed_ = false;
    QColor color_, fontColor_;
};
