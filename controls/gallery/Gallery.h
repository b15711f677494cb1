#pragma once
// The control gallery. Each section is a framed area on which a function places its
// controls at fixed positions, as a form would; add a section with one line in
// GallerySections() (Gallery.cpp).

#include "config/QVForm.h"

#include <QString>

#include <functional>
#include <vector>

struct GallerySection {
    QString title;
    QSize size;                              // of the area inside the frame
    std::function<void(QWidget* area)> build;
};

const std::vector<GallerySection>& GallerySections();

class TfrmGallery : public TQVForm {
    Q_OBJECT
public:
    explicit TfrmGallery(QWidget* owner = nullptr);
};
