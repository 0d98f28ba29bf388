; Run from a 48K snapshot: middle C on the beeper, for ever, with interrupts off. Each half
; period is 43 + 26 x 256 = 6699 T-states (the OUT to the ULA now and then a few more), so a
; machine running 50 frames of 69888 T-states a second plays 3494400 / 13398 = 260.8 Hz,
; the pitch the ROM's BEEP 1,0 has at that speed (261.63 Hz asked for).

        org 0x8000

        di
        ld e, 0
toggle: ld a, e                 ; 4
        xor 0x10                ; 7   the speaker bit
        ld e, a                 ; 4
        out (0xFE), a           ; 11  black border, speaker on or off
        ld bc, 256              ; 10
delay:  dec bc                  ; 6
        ld a, b                 ; 4
        or c                    ; 4
        jr nz, delay            ; 12, 7 at the end
        jr toggle               ; 12
