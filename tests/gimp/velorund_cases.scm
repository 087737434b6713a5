; Script-Fu procedures for the GIMP plug-in's tests: each loads an image, runs plug-in-velorund
; non-interactively on its active layer, with or without a selection, and exports the result.
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

; A layer wider than the filter takes: the procedure fails with its message.
(define (velorund-warp-too-wide)
  (let* ((image (car (gimp-image-new 40000 2 RGB)))
         (layer (car (gimp-layer-new image 40000 2 RGB-IMAGE "wide" 100 LAYER-MODE-NORMAL))))
    (gimp-image-insert-layer image layer 0 0)
    (plug-in-velorund RUN-NONINTERACTIVE image layer)))
