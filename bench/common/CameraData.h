// Generated camera data: camera-size JPEGs with an embedded EXIF thumbnail, and
// many small raw-like files. Deterministic, so every run measures the same bytes.

#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

namespace zandrel::bench {

struct CameraPhoto {
    QByteArray jpeg;
    QByteArray thumbnail;
};

// A smooth scene with sensor noise on top (the noise sets the JPEG's size).
CameraPhoto cameraPhoto(QSize size, int noise);

// DSC00001.JPG ...: the same scene, each with its own EXIF block, thumbnail and date.
void makeCameraJpegs(const QString& folder, int count, const CameraPhoto& photo);

// IMG00001.ARW ...: random bytes, each file different.
void makeSmallFiles(const QString& folder, int count, int bytes);

}  // namespace zandrel::bench
