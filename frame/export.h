// The mark of a module's exported symbols; everything else is hidden.
#ifndef MCN_FRAME_EXPORT_H
#define MCN_FRAME_EXPORT_H

#define MCN_EXPORT __attribute__((visibility("default")))

#endif  // MCN_FRAME_EXPORT_H
