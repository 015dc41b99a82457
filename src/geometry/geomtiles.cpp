// Plain stand-ins for tiled images, shared by the geometric transforms.
#include "geometry.h"

ImageHeader plainStandIn(const ImageHeader* image, char* data, int32_t stride) {
    ImageHeader copy = *image;
    copy.tileInfo = nullptr;
    copy.imageData = data;
    copy.imageDataBlock = nullptr;
    copy.widthStep = stride;
    copy.imageSize = stride * image->height * (image->dataOrder ? image->nChannels : 1);
    copy.maskImage = nullptr;
    return copy;
}

ImageHeader tileAsImage(const ImageHeader* image, char* tileData, Roi* roi) {
    ImageHeader copy = plainStandIn(image, tileData, tileWidthStep(image));
    copy.width = image->tileInfo->width;
    copy.height = image->tileInfo->height;
    copy.imageSize = copy.widthStep * copy.height * (image->dataOrder ? image->nChannels : 1);
    copy.roi = roi;
    return copy;
}
