; Script-Fu procedures for the GIMP plug-in's tests: each loads an image, runs plug-in-velorund
; non-interactively on its active layer or a drawable made from it, with or without a selection,
; and exports the result, or makes a call the plug-in must refuse.
; gimp-console-2.10 runs them in batch mode, one procedure call per batch command.

; Exports a drawable of the image in the format OUT's extension names, keeping the values of
; fully transparent pixels (PNG) and the image's precision.
(define (velorund-export image drawable out)
  (if (string=? (substring out (- (string-length out) 4) (string-length out)) ".png")
      (file-png-save2 RUN-NONINTERACTIVE image drawable out out 0 9 0 0 0 0 0 0 TRUE)
      (gimp-file-save RUN-NONINTERACTIVE image drawable out out)))

; Loads IN, lets SELECT make the selection, runs the filter and exports the layer to OUT.
(define (velorund-run in out select)
  (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE in in)))
         (layer (car (gimp-image-get-active-drawable image))))
    (select image)
    (plug-in-velorund RUN-NONINTERACTIVE image layer)
    (velorund-export image layer out)
    image))

; The whole layer, or with RECT (x y w h) a rectangular selection.
(define (velorund-warp in out . rect)
  (gimp-image-delete
   (velorund-run in out (lambda (image)
                          (if (pair? rect)
                              (apply gimp-image-select-rectangle image CHANNEL-OP-REPLACE rect))))))

; An anti-aliased elliptical selection; the selection mask itself is exported to MASK.
(define (velorund-warp-ellipse in out mask x y w h)
  (let ((image (velorund-run in out
                             (lambda (image)
                               (gimp-context-set-antialias TRUE)
                               (gimp-context-set-feather FALSE)
                               (gimp-image-select-ellipse image CHANNEL-OP-REPLACE x y w h)))))
    (velorund-export image (car (gimp-image-get-selection image)) mask)
    (gimp-image-delete image)))

; IN's alpha as a graded layer mask, filtered in the mask's own values. GIMP keeps a mask in linear
; values even in a perceptual image; the image is made linear before the export, which leaves the
; mask as it is and exports its values unconverted.
(define (velorund-warp-mask in out)
  (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE in in)))
         (layer (car (gimp-image-get-active-drawable image)))
         (mask (car (gimp-layer-create-mask layer ADD-MASK-ALPHA))))
    (gimp-layer-add-mask layer mask)
    (plug-in-velorund RUN-NONINTERACTIVE image mask)
    (gimp-image-convert-precision image (if (= (car (gimp-image-get-precision image)) PRECISION-U8-GAMMA)
                                            PRECISION-U8-LINEAR
                                            PRECISION-U16-LINEAR))
    (velorund-export image mask out)
    (gimp-image-delete image)))

; A selection right of the layer, on a canvas made twice as wide: nothing to filter.
(define (velorund-warp-outside in out)
  (gimp-image-delete
   (velorund-run in out (lambda (image)
                          (let ((width (car (gimp-image-width image))))
                            (gimp-image-resize image (* 2 width) (car (gimp-image-height image)) 0 0)
                            (gimp-image-select-rectangle image CHANNEL-OP-REPLACE width 0 10 10))))))

; Drawables the filter must refuse, made from IN's layer: WHAT is "group" (a group holding the
; layer), "locked" (the layer in a group whose pixels are locked) or "foreign" (the layer passed
; with another image).
(define (velorund-refuse in what)
  (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE in in)))
         (layer (car (gimp-image-get-active-drawable image)))
         (group (car (gimp-layer-group-new image))))
    (gimp-image-insert-layer image group 0 0)
    (gimp-image-reorder-item image layer group 0)
    (cond ((string=? what "group") (plug-in-velorund RUN-NONINTERACTIVE image group))
          ((string=? what "locked") (gimp-item-set-lock-content group TRUE)
                              (plug-in-velorund RUN-NONINTERACTIVE image layer))
          ((string=? what "foreign") (plug-in-velorund RUN-NONINTERACTIVE (car (gimp-image-new 8 8 RGB)) layer)))))

; A layer wider than the filter takes: the procedure fails with its message.
(define (velorund-warp-too-wide)
  (let* ((image (car (gimp-image-new 40000 2 RGB)))
         (layer (car (gimp-layer-new image 40000 2 RGB-IMAGE "wide" 100 LAYER-MODE-NORMAL))))
    (gimp-image-insert-layer image layer 0 0)
    (plug-in-velorund RUN-NONINTERACTIVE image layer)))
