#include "imageview.h"

#include <QAction>
#include <QActionGroup>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstring>

namespace {

const QColor Background(0x2b, 0x2b, 0x2b);
const QColor IncompleteMark(0xe5, 0x39, 0x35);

// Frames larger than this are not drawn: a damaged header can claim any size,
// and a copy of an incomplete frame of that size would not fit in memory.
constexpr quint64 MaxPixels = quint64(1) << 28;

// The QImage holds a reference to the frame whose bytes it shows.
void ReleaseFrame(void* info)
{
    delete static_cast<KelCPP::FramePtr*>(info);
}

} // namespace

// The area inside the scroll area; ImageView does the painting.
class ImageCanvas : public QWidget
{
public:
    ImageCanvas(ImageView* view, QWidget* parent) : QWidget(parent), view(view) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        view->paintCanvas(painter);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && view->isActualSize()) {
            dragFrom = event->globalPos();
            setCursor(Qt::ClosedHandCursor);
        }
        QWidget::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if ((event->buttons() & Qt::LeftButton) && view->isActualSize()) {
            const QPoint delta = event->globalPos() - dragFrom;
            dragFrom = event->globalPos();
            QScrollBar* h = view->scroll->horizontalScrollBar();
            QScrollBar* v = view->scroll->verticalScrollBar();
            h->setValue(h->value() - delta.x());
            v->setValue(v->value() - delta.y());
        }
        QWidget::mouseMoveEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (view->isActualSize())
            setCursor(Qt::OpenHandCursor);
        QWidget::mouseReleaseEvent(event);
    }

private:
    ImageView* view;
    QPoint dragFrom;
};

ImageView::ImageView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* tools = new QToolBar(this);
    tools->setIconSize(QSize(16, 16));
    auto* zoom = new QActionGroup(this);
    fitAction = zoom->addAction(QString());
    actualSizeAction = zoom->addAction(QString());
    for (QAction* action : zoom->actions())
        action->setCheckable(true);
    fitAction->setChecked(true);
    tools->addActions(zoom->actions());
    connect(actualSizeAction, &QAction::toggled, this, &ImageView::setActualSize);
    layout->addWidget(tools);

    scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setBackgroundRole(QPalette::Dark);
    canvas = new ImageCanvas(this, scroll);
    canvas->setAttribute(Qt::WA_OpaquePaintEvent);
    canvas->setContextMenuPolicy(Qt::ActionsContextMenu);
    canvas->addActions(zoom->actions());
    scroll->setWidget(canvas);
    layout->addWidget(scroll, 1);
    retranslate();
}

void ImageView::retranslate()
{
    fitAction->setText(tr("Fit"));
    fitAction->setToolTip(tr("Scale the image to the window, keeping its proportions"));
    actualSizeAction->setText(tr("1:1"));
    actualSizeAction->setToolTip(tr("One screen pixel per image pixel; drag to move the image"));
}

void ImageView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        canvas->update();
    }
    QWidget::changeEvent(event);
}

ImageView::~ImageView() = default;

void ImageView::setFrame(KelCPP::FramePtr frame)
{
    if (!frame)
        return;
    {
        QMutexLocker lock(&pendingMutex);
        pending = std::move(frame);
        // One hand-over in flight at a time: a frame arriving before the GUI
        // thread took the last one replaces it.
        if (deliveryQueued)
            return;
        deliveryQueued = true;
    }
    QMetaObject::invokeMethod(this, &ImageView::takeNewestFrame, Qt::QueuedConnection);
}

void ImageView::takeNewestFrame()
{
    KelCPP::FramePtr frame;
    {
        QMutexLocker lock(&pendingMutex);
        frame = std::move(pending);
        pending.reset();
        deliveryQueued = false;
    }
    if (!frame)
        return;
    current = frame;
    image = QImage();
    problem = Problem::None;
    announce = true;

    const quint64 pixels = quint64(frame->width) * frame->height;
    if (frame->pixelFormat != KelCPP::KelPixelFormatMono8) {
        problem = Problem::PixelFormat;
    } else if (pixels == 0 || pixels > MaxPixels) {
        problem = Problem::NoPixels;
    } else if (frame->data.size() >= pixels) {
        image = QImage(frame->data.data(), int(frame->width), int(frame->height), int(frame->width),
                       QImage::Format_Grayscale8, ReleaseFrame, new KelCPP::FramePtr(frame));
    } else {
        // Data cut short on the way: show what came, the rest black.
        image = QImage(int(frame->width), int(frame->height), QImage::Format_Grayscale8);
        image.fill(0);
        const std::size_t rows = frame->data.size() / frame->width;
        for (std::size_t row = 0; row <= rows && row < frame->height; ++row) {
            const std::size_t offset = row * frame->width;
            const std::size_t count = std::min<std::size_t>(frame->width, frame->data.size() - offset);
            std::memcpy(image.scanLine(int(row)), frame->data.data() + offset, count);
        }
    }
    if (actualSize)
        canvas->setMinimumSize(image.isNull() ? QSize(0, 0) : image.size());
    canvas->update();
}

void ImageView::clear()
{
    {
        QMutexLocker lock(&pendingMutex);
        pending.reset();
    }
    current.reset();
    image = QImage();
    problem = Problem::None;
    announce = false;
    canvas->setMinimumSize(0, 0);
    canvas->update();
}

void ImageView::setActualSize(bool on)
{
    if (actualSize == on)
        return;
    actualSize = on;
    (on ? actualSizeAction : fitAction)->setChecked(true);
    canvas->setMinimumSize(on && !image.isNull() ? image.size() : QSize(0, 0));
    canvas->setCursor(on ? Qt::OpenHandCursor : Qt::ArrowCursor);
    canvas->update();
    emit actualSizeChanged(on);
}

void ImageView::setPlaceholderText(const QString& text)
{
    placeholder = text;
    canvas->update();
}

QString ImageView::statusText() const
{
    if (!current)
        return placeholder.isEmpty() ? tr("No image yet. Start acquisition to see frames.") : placeholder;
    if (problem == Problem::PixelFormat)
        return tr("Pixel format not shown");
    if (problem == Problem::NoPixels)
        return tr("No image in this frame");
    if (current->status != KelCPP::KelFrameComplete)
        return tr("Incomplete frame");
    return {};
}

QRect ImageView::imageRect() const
{
    if (image.isNull())
        return {};
    const QSize area = canvas->size();
    QRect rect;
    if (actualSize) {
        rect = QRect(QPoint(std::max(0, (area.width() - image.width()) / 2),
                            std::max(0, (area.height() - image.height()) / 2)),
                     image.size());
    } else {
        const QSize scaled = image.size().scaled(area, Qt::KeepAspectRatio);
        rect = QRect(QPoint((area.width() - scaled.width()) / 2, (area.height() - scaled.height()) / 2), scaled);
    }
    return rect.translated(canvas->mapTo(this, QPoint(0, 0)));
}

void ImageView::paintCanvas(QPainter& painter)
{
    painter.fillRect(canvas->rect(), Background);
    const QString text = statusText();
    if (image.isNull()) {
        painter.setPen(QColor(0xd0, 0xd0, 0xd0));
        // Centred on the visible part, which in 1:1 mode may be scrolled.
        const QRect visible = canvas->visibleRegion().boundingRect();
        painter.drawText(visible.isEmpty() ? canvas->rect() : visible, Qt::AlignCenter | Qt::TextWordWrap, text);
    } else {
        const QRect target = imageRect().translated(-canvas->mapTo(this, QPoint(0, 0)));
        // Smoothing only when shrinking: enlarged pixels stay sharp squares.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < image.width());
        painter.drawImage(target, image);
        if (current->status != KelCPP::KelFrameComplete) {
            painter.setPen(QPen(IncompleteMark, 3));
            painter.drawRect(target.adjusted(1, 1, -2, -2));
            const QRect label = painter.fontMetrics().boundingRect(text).adjusted(-6, -3, 6, 3);
            const QRect badge = label.translated(target.topLeft() - label.topLeft() + QPoint(6, 6));
            painter.fillRect(badge, IncompleteMark);
            painter.setPen(Qt::white);
            painter.drawText(badge, Qt::AlignCenter, text);
        }
    }
    if (announce && current) {
        announce = false;
        emit frameShown(current->id);
    }
}
