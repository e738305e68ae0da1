#pragma once
// The view that shows the viewer's picture. A still picture is drawn as it is; an animated one plays its frames
// with their own timing, over and over.
#include "viewers/ViewerPicture.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class MyImageView : public QWidget {
    Q_OBJECT
public:
    explicit MyImageView(QWidget* parent = nullptr);

    // Shows the picture at its size(); a picture with more than one frame starts playing at its first frame.
    void setImage(const ViewerPicture& picture);
    const ViewerPicture& image() const { return image_; }
    // True while the picture shown plays as an animation.
    bool animated() const { return animated_; }
    int currentFrame() const { return frame_; }

    // Called on a click inside the view.
    void setClickHandler(std::function<void()> handler) { clicked_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void nextFrame();

    ViewerPicture image_;
    bool animated_ = false;
    int frame_ = 0;
    QTimer frameTimer_;
    std::function<void()> clicked_;
};
