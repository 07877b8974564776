; An NSIS installer of the benchmarks' mixed payload, with NSIS's best compression (solid
; LZMA, 64 MiB dictionary), for the download-size comparison of bench/size_bench.sh.
; Usage: makensis -DOUT=setup.exe -DPAYLOAD=folder bench/payload.nsi
Unicode true
SetCompressor /SOLID /FINAL lzma
SetCompressorDictSize 64
Name "Kesta"
OutFile "${OUT}"
InstallDir "$LOCALAPPDATA\Kesta"
RequestExecutionLevel user
Page directory
Page instfiles
Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}/*"
SectionEnd
