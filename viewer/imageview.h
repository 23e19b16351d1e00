#ifndef VIEWER_IMAGEVIEW_H
#define VIEWER_IMAGEVIEW_H

#include "kelcpp/stream.h"

#include <QImage>
#include <QMutex>
#include <QWidget>

class QAction;
class QScrollArea;
class ImageCanvas;

// The newest frame of a stream, scaled to fit (aspect kept) or pixel for
// pixel in a scroll area. Frames may arrive faster than the screen shows
// them: only the newest one that waited is painted, the others are dropped.
class ImageView : public QWidget
{
    Q_OBJECT

public:
    explicit ImageView(QWidget* parent = nullptr);
    ~ImageView() override;

    // Any thread, e.g. straight from IFrameObserver::FrameReceived. Cheap:
    // keeps the frame and asks the GUI thread for one repaint. Null is
    // ignored (clear() goes back to the placeholder). The caller stops
    // calling it before the view is destroyed.
    void setFrame(KelCPP::FramePtr frame);

    // GUI thread. The frame shown or about to be shown; null before the first.
    KelCPP::FramePtr frame() const { return current; }
    bool isActualSize() const { return actualSize; }
    // What is written over or instead of the image: the placeholder, "Pixel
    // format not shown", the incomplete-frame marker; empty for a plain image.
    QString statusText() const;
    // Where the image is drawn, in this widget's coordinates; empty without one.
    QRect imageRect() const;

    // Shown until the first frame, instead of the hint to start acquisition;
    // empty restores the hint.
    void setPlaceholderText(const QString& text);

public slots:
    // Pixel for pixel (scrollable, drag to pan) instead of scaled to fit.
    void setActualSize(bool on);
    void clear();

signals:
    // GUI thread, once per frame, after the frame was painted (as an image,
    // or as the text saying why not).
    void frameShown(quint64 id);
    void actualSizeChanged(bool on);

protected:
    void changeEvent(QEvent* event) override;

private:
    friend class ImageCanvas;

    // Why a frame is not drawn; in words only when shown, in the current language.
    enum class Problem { None, PixelFormat, NoPixels };

    void takeNewestFrame();
    void retranslate();
    void paintCanvas(QPainter& painter);

    QMutex pendingMutex; // guards pending and deliveryQueued: setFrame's thread vs the GUI thread
    KelCPP::FramePtr pending;
    bool deliveryQueued = false;

    KelCPP::FramePtr current;
    QImage image; // null when the frame cannot be drawn; may share the frame's bytes
    Problem problem = Problem::None;
    QString placeholder; // instead of the hint to start acquisition
    bool announce = false; // frameShown still due for `current`
    bool actualSize = false;

    QScrollArea* scroll;
    ImageCanvas* canvas;
    QAction* fitAction;
    QAction* actualSizeAction;
};

#endif
