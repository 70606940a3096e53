x = 1 'set x
Set x = y ' Dim As Long
'
' only a comment
   ' indented comment
Dim'no space before the mark
x = 'a' 'b'
MsgBox "It's here" Then
s = "Don't" & " stop" ' two marks
Rem Dim x As Long
REM this is not a comment here
x = 1: Rem and after a colon
Dim x As Long ' a comment with endif and Dim
endif 'endif
  endif   ' shifted by the rewrite
Then'
