; A minimal NSIS installer with its wizard page, as a medium ships one: started without /S it shows
; its window and waits for someone. The checker only reads it; nothing runs it.
; makensis -DOUT=<path> e2ensis.nsi
Unicode true
Target amd64-unicode
OutFile "${OUT}"
Name "StageRun E2E NSIS"
RequestExecutionLevel user
Page instfiles
Section
SectionEnd
