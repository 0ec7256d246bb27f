// The still-image library: one include for all of its public declarations.
#pragma once

#include "imagelib/img_bits.h"
#include "imagelib/img_capture.h"
#include "imagelib/img_colour.h"
#include "imagelib/img_desc.h"
#include "imagelib/img_display.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_jpeg.h"
#include "imagelib/img_memory.h"
#include "imagelib/img_print.h"
#include "imagelib/img_resize.h"
#include "imagelib/img_rotate.h"
#include "imagelib/img_stream.h"
#include "imagelib/img_tiff.h"
