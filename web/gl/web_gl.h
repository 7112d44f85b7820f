// The web build's OpenGL 1.x: WebGL has no fixed-function pipeline, immediate mode, display lists
// or GLU, so every GL and GLU name the intro and its host call is sent to kandu's own small
// implementation (web_gl.cpp), which keeps the matrices, lights, materials and texture
// coordinate generation itself, works out each vertex on the CPU by the fixed-function formulas
// and hands WebGL finished triangles. This header is force-included into every file of the web
// build (never into the native builds), before any system header, so the portable sources stay
// as they are.
#pragma once

#define glAlphaFunc kglAlphaFunc
#define glBegin kglBegin
#define glBindTexture kglBindTexture
#define glBlendFunc kglBlendFunc
#define glClear kglClear
#define glClearColor kglClearColor
#define glClearDepth kglClearDepth
#define glColor3f kglColor3f
#define glColor4f kglColor4f
#define glColorMask kglColorMask
#define glCopyTexSubImage2D kglCopyTexSubImage2D
#define glCullFace kglCullFace
#define glDeleteLists kglDeleteLists
#define glDeleteTextures kglDeleteTextures
#define glDepthFunc kglDepthFunc
#define glDepthMask kglDepthMask
#define glDisable kglDisable
#define glEnable kglEnable
#define glEnd kglEnd
#define glFinish kglFinish
#define glFlush kglFlush
#define glGenLists kglGenLists
#define glGenTextures kglGenTextures
#define glGetError kglGetError
#define glGetFloatv kglGetFloatv
#define glGetString kglGetString
#define glIsEnabled kglIsEnabled
#define glLightf kglLightf
#define glLightfv kglLightfv
#define glLineWidth kglLineWidth
#define glLoadIdentity kglLoadIdentity
#define glLoadMatrixf kglLoadMatrixf
#define glMaterialf kglMaterialf
#define glMaterialfv kglMaterialfv
#define glMatrixMode kglMatrixMode
#define glMultMatrixf kglMultMatrixf
#define glNormal3f kglNormal3f
#define glOrtho kglOrtho
#define glPointSize kglPointSize
#define glPolygonMode kglPolygonMode
#define glPolygonOffset kglPolygonOffset
#define glPopMatrix kglPopMatrix
#define glPushMatrix kglPushMatrix
#define glRotatef kglRotatef
#define glScalef kglScalef
#define glShadeModel kglShadeModel
#define glTexCoord2f kglTexCoord2f
#define glTexEnvi kglTexEnvi
#define glTexGenfv kglTexGenfv
#define glTexGeni kglTexGeni
#define glTexImage2D kglTexImage2D
#define glTexParameteri kglTexParameteri
#define glTranslatef kglTranslatef
#define glVertex2i kglVertex2i
#define glVertex3f kglVertex3f
#define glViewport kglViewport
#define gluBuild2DMipmaps kgluBuild2DMipmaps
#define gluLookAt kgluLookAt
#define gluPerspective kgluPerspective
