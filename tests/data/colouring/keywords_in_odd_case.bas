Dim x As Long
DIM X AS LONG
dim x as long
dIM wITHeVENTS w aS Form
if x then goto done
redim a(3)
elseif x then
ELSE: x = 1
x = false: y
byval byref
Sub Go(byval x As Integer, byref y)
Sub Go (byval x)
Call F (BYREF y)
Private Function F(ByVal s As String) As Long
Dim a As Long, b
debug.print x
Debug.Print x
DEBUG.ASSERT ok
n = LBound(a) + UBound (a)
x = LBound y
Sub S(ParamArray a())
Sub S paramarray a
endif
  ENDIF ' done
if a then b endif endif 'x
End If
  Dim   x   As  Long  
Dim
x = New
